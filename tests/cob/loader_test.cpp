#include <gtest/gtest.h>

#include <string>

#include "load_helper.h"

namespace facetor::test {
namespace {

// The tree as text: "node(object#material ...)[child ...]".
std::string dump(const SceneNode& node) {
  std::string text = node.name + "(";
  for (const auto& object : node.objects) {
    text += object->name;
    for (const Material& m : object->materials) text += "#" + std::to_string(m.number);
    text += " ";
  }
  text += ")[";
  for (const auto& child : node.children) text += dump(*child) + " ";
  return text + "]";
}

TEST(SceneLoader, AttachmentRules) {
  struct Case {
    const char* what;
    CobFile file;
    std::string tree;
  };
  const Case cases[] = {
      {"unknown parents fall back to the root",
       CobFile{}.chunk("PolH", 5, 999, marker("orphan")).chunk("Grou", 6, 12345, group("lost")),
       "Root_0(orphan )[lost()[] ]"},
      {"a group under an object is skipped, its children go to the root",
       CobFile{}
           .chunk("PolH", 1, 0, marker("host"))
           .chunk("Grou", 2, 1, group("inside"))
           .chunk("PolH", 4, 2, marker("orphaned"))
           .chunk("Grou", 5, 2, group("grandchild")),
       "Root_0(host orphaned )[grandchild()[] ]"},
      {"a shared ID finds the root's objects before its children",
       CobFile{}
           .chunk("Grou", 5, 0, group("g5"))
           .chunk("PolH", 6, 5, marker("in5"))
           .chunk("PolH", 5, 0, marker("o5"))
           .chunk("Mat1", 7, 5, mat1(numbered(9)))
           .chunk("PolH", 8, 5, marker("under object"))
           .chunk("Grou", 6, 0, group("g6"))
           .chunk("Mat1", 9, 6, mat1(numbered(3))),
       "Root_0(o5#9 )[g5(in5#3 )[] g6()[] ]"},
      {"object chunks under a group are ignored, chunk types match in any case",
       CobFile{}.chunk("grou", 1, 0, group("g")).chunk("MAT1", 2, 1, mat1({})).chunk("pOLh", 3, 0, marker("p")),
       "Root_0(p )[g()[] ]"},
      {"END in any case stops the load",
       CobFile{}.chunk("eNd ", 1, 0, Data{}).chunk("PolH", 2, 0, marker("after")), "Root_0()[]"},
      {"a failing chunk stops the load and keeps its record",
       CobFile{}
           .chunk("PolH", 1, 0, polh("empty", {}, {}, {}))
           .chunk("PolH", 2, 0, marker("never")),
       "Root_0(empty )[]"},
  };
  for (const Case& c : cases) {
    const Loaded loaded = load(c.file);
    ASSERT_TRUE(loaded.root) << c.what;
    EXPECT_EQ(dump(*loaded.root), c.tree) << c.what;
    EXPECT_EQ(loaded.console, "") << c.what;
  }
}

TEST(SceneLoader, SkeletonChunksGoToTheFirstObjectOfTheLastPolygonNode) {
  JoinSpec hipJoin{.name = "qz_lfhip", .linked1 = "qz_pelvis", .linked2 = "qz_lfknee"};
  CobFile file;
  file.chunk("Bone", 1, 0, bone("qz_pelvis"))  // no polygon object yet: skipped
      .chunk("Join", 2, 0, join(hipJoin))
      .chunk("Grou", 3, 0, group("g"))
      .chunk("PolH", 4, 3, marker("first"))
      .chunk("PolH", 5, 3, marker("second"))
      .chunk("Bone", 6, 5, bone("qz_lfknee"))  // the parent ID is not used
      .chunk("PolH", 7, 0, marker("root object"))
      .chunk("Join", 8, 3, join(hipJoin))
      .end();
  const Loaded loaded = load(file);
  const SceneNode& g = *loaded.root->children[0];
  ASSERT_EQ(g.objects.size(), 2u);
  ASSERT_EQ(g.objects[0]->bones.size(), 1u);
  EXPECT_EQ(g.objects[0]->bones[0].joint, 20);
  EXPECT_TRUE(g.objects[0]->jointLinks.empty());
  EXPECT_TRUE(g.objects[1]->bones.empty());
  const PolygonObject& rootObject = *loaded.root->objects[0];
  EXPECT_TRUE(rootObject.bones.empty());
  ASSERT_EQ(rootObject.jointLinks.size(), 1u);
  EXPECT_EQ(rootObject.jointLinks[0].joint, 19);
}

}  // namespace
}  // namespace facetor::test
