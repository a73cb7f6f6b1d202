#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "load_helper.h"

namespace facetor::test {
namespace {

TEST(SceneLoader, HeaderAndEndOnlyGiveAnEmptyRoot) {
  CobFile file;
  file.end();
  const Loaded loaded = load(file);
  ASSERT_TRUE(loaded.root);
  EXPECT_EQ(loaded.root->name, "Root_0");
  EXPECT_EQ(loaded.root->chunkId, 0);
  EXPECT_TRUE(loaded.root->children.empty());
  EXPECT_TRUE(loaded.root->objects.empty());
  EXPECT_EQ(loaded.console, "");
}

TEST(SceneLoader, RejectedHeaderGivesNoTreeAndAWarning) {
  const Loaded loaded = load(CobFile('A'));
  EXPECT_FALSE(loaded.root);
  EXPECT_EQ(loaded.console, "model.cob: ASCII format COB files are not supported - resave as binary\n");
}

TEST(SceneLoader, GroupsNestByParentIdAndKeepTheirTransforms) {
  CobFile file;
  file.chunk("Grou", 10, 0, group("Body", {1, 2, 3}, {4, 5, 6}))
      .chunk("Scen", 11, 10, group("Stage", {7, 7, 7}))  // Scen reads the name only
      .chunk("MBal", 12, 10, group("Blob", {0, 0, 1}, {0, 0, 2}, 2))
      .chunk("PolH", 13, 11, polh("Box", {{0, 0, 0}}, {}, {}))
      .end();
  const Loaded loaded = load(file);
  ASSERT_EQ(loaded.root->children.size(), 1u);
  const SceneNode& body = *loaded.root->children.front();
  EXPECT_EQ(body.name, "Body");
  EXPECT_EQ(body.chunkId, 10);
  EXPECT_EQ(body.axes.centre[2], 3.0f);
  EXPECT_EQ(body.position.rows[1][3], 5.0f);
  ASSERT_EQ(body.children.size(), 2u);
  const SceneNode& stage = *body.children[0];
  EXPECT_EQ(stage.name, "Stage");
  EXPECT_EQ(stage.axes.centre[0], 0.0f);
  EXPECT_EQ(stage.position.rows[0][0], 0.0f);
  ASSERT_EQ(stage.objects.size(), 1u);
  EXPECT_EQ(stage.objects[0]->name, "Box");
  EXPECT_EQ(body.children[1]->name, "Blob_2");
  EXPECT_EQ(body.children[1]->position.rows[2][3], 2.0f);
}

TEST(SceneLoader, ChunkTypesMatchInAnyLetterCase) {
  CobFile file;
  file.chunk("grou", 1, 0, group("g")).chunk("pOLh", 2, 1, marker("p")).chunk("MAT1", 3, 2, mat1(numbered(4)));
  file.chunk("hidN", 4, 2, hidn(0x08)).chunk("eNd ", 5, 0, Data{}).chunk("PolH", 6, 0, marker("after"));
  const Loaded loaded = load(file);
  ASSERT_EQ(loaded.root->children.size(), 1u);
  const SceneNode& g = *loaded.root->children[0];
  ASSERT_EQ(g.objects.size(), 1u);
  ASSERT_EQ(g.objects[0]->materials.size(), 1u);
  EXPECT_EQ(g.objects[0]->materials[0].number, 4);
  EXPECT_EQ(g.objects[0]->hidden, 0x08);
  EXPECT_FALSE(has_root_object(*loaded.root, "after"));  // lower-case END stops too
}

TEST(SceneLoader, UnknownParentsFallBackToTheRoot) {
  CobFile file;
  file.chunk("PolH", 5, 999, marker("orphan")).chunk("Grou", 6, 12345, group("lost")).end();
  const Loaded loaded = load(file);
  EXPECT_TRUE(has_root_object(*loaded.root, "orphan"));
  ASSERT_EQ(loaded.root->children.size(), 1u);
  EXPECT_EQ(loaded.root->children[0]->name, "lost");
}

TEST(SceneLoader, GroupUnderAPolygonObjectIsSkippedAndItsChildrenGoToTheRoot) {
  CobFile file;
  file.chunk("PolH", 1, 0, marker("host"))
      .chunk("Grou", 2, 1, group("inside"))
      .chunk("Scen", 3, 1, scene("inside too"))
      .chunk("PolH", 4, 2, marker("child of skipped"))
      .chunk("Grou", 5, 2, group("grandchild"))
      .end();
  const Loaded loaded = load(file);
  ASSERT_EQ(loaded.root->objects.size(), 2u);
  EXPECT_EQ(loaded.root->objects[1]->name, "child of skipped");
  ASSERT_EQ(loaded.root->children.size(), 1u);
  EXPECT_EQ(loaded.root->children[0]->name, "grandchild");
}

TEST(SceneLoader, ObjectChunksUnderGroupsAreIgnored) {
  CobFile file;
  file.chunk("Grou", 1, 0, group("g"))
      .chunk("Mat1", 2, 1, mat1({}))
      .chunk("VCol", 3, 1, vcol({{0, {1}}}))
      .chunk("Skin", 4, 1, skin("qz_lfhip", {123}))  // no object: indices unchecked
      .chunk("Hidn", 5, 1, hidn(8))
      .chunk("DDiv", 6, 1, Data{}.u32(7))
      .chunk("Xyzw", 7, 1, Data{}.u32(7))
      .chunk("PolH", 8, 0, marker("after"))
      .end();
  const Loaded loaded = load(file);
  EXPECT_TRUE(has_root_object(*loaded.root, "after"));
  EXPECT_TRUE(loaded.root->children[0]->objects.empty());
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

TEST(SceneLoader, FailingHandlerStopsSilentlyAndKeepsItsRecord) {
  CobFile file;
  file.chunk("PolH", 1, 0, marker("good"))
      .chunk("PolH", 2, 0, polh("no vertices", {}, {}, {}))
      .chunk("PolH", 3, 0, marker("never"))
      .end();
  const Loaded loaded = load(file);
  ASSERT_EQ(loaded.root->objects.size(), 2u);
  EXPECT_EQ(loaded.root->objects[1]->name, "no vertices");
  EXPECT_EQ(loaded.root->objects[1]->vertexCount, 0);
  EXPECT_EQ(loaded.console, "");
}

TEST(SceneLoader, GroupCutShortStaysInTheTree) {
  Data data = group("cut");
  data.bytes.resize(30);
  CobFile file;
  file.chunk("Grou", 1, 0, data);
  const Loaded loaded = load(file);
  ASSERT_EQ(loaded.root->children.size(), 1u);
  EXPECT_EQ(loaded.root->children[0]->name, "cut");
}

TEST(SceneLoader, SharedChunkIdFindsTheFirstRecordInSearchOrder) {
  // The root's objects come before its children, so an object added later
  // to the root wins over an earlier group with the same ID.
  CobFile file;
  file.chunk("Grou", 5, 0, group("group five"))
      .chunk("PolH", 6, 5, marker("in group"))
      .chunk("PolH", 5, 0, marker("object five"))
      .chunk("Mat1", 7, 5, mat1(numbered(9)))
      .chunk("PolH", 8, 5, marker("under five"))  // parent is an object: skipped
      .chunk("Grou", 6, 0, group("group six"))
      .chunk("Mat1", 9, 6, mat1(numbered(3)))    // object six is earlier than group six
      .end();
  const Loaded loaded = load(file);
  ASSERT_EQ(loaded.root->objects.size(), 1u);
  ASSERT_EQ(loaded.root->objects[0]->materials.size(), 1u);
  EXPECT_EQ(loaded.root->objects[0]->materials[0].number, 9);
  const SceneNode& five = *loaded.root->children[0];
  ASSERT_EQ(five.objects.size(), 1u);
  ASSERT_EQ(five.objects[0]->materials.size(), 1u);
  EXPECT_EQ(five.objects[0]->materials[0].number, 3);
  EXPECT_EQ(loaded.root->children.size(), 2u);
}

// A plain depth-first model of the attachment rules, used as the oracle for
// the loader's indexed lookup on random trees with many shared IDs.
struct ModelNode {
  std::int32_t id = 0;
  std::string name;
  std::vector<std::pair<std::int32_t, std::string>> objects;
  std::vector<std::unique_ptr<ModelNode>> children;
};

// Finds id depth first: returns the node, with objectIndex -1 for the node
// itself or the index of the object.
ModelNode* model_find(ModelNode& node, std::int32_t id, int& objectIndex) {
  if (node.id == id) {
    objectIndex = -1;
    return &node;
  }
  for (std::size_t i = 0; i < node.objects.size(); ++i) {
    if (node.objects[i].first == id) {
      objectIndex = static_cast<int>(i);
      return &node;
    }
  }
  for (auto& child : node.children) {
    if (ModelNode* found = model_find(*child, id, objectIndex)) return found;
  }
  return nullptr;
}

void expect_same_tree(const ModelNode& model, const SceneNode& node) {
  EXPECT_EQ(node.chunkId, model.id);
  EXPECT_EQ(node.name, model.name);
  ASSERT_EQ(node.objects.size(), model.objects.size()) << node.name;
  for (std::size_t i = 0; i < node.objects.size(); ++i) {
    EXPECT_EQ(node.objects[i]->chunkId, model.objects[i].first);
    EXPECT_EQ(node.objects[i]->name, model.objects[i].second);
  }
  ASSERT_EQ(node.children.size(), model.children.size()) << node.name;
  for (std::size_t i = 0; i < node.children.size(); ++i) expect_same_tree(*model.children[i], *node.children[i]);
}

TEST(SceneLoader, IndexedLookupMatchesDepthFirstSearchOnRandomTrees) {
  // Odd seeds draw parents at random (wide trees), even seeds mostly take the
  // previous chunk as parent (deep trees whose levels share IDs).
  for (unsigned seed = 1; seed <= 60; ++seed) {
    std::mt19937 random(seed);
    const bool deep = seed % 2 == 0;
    const std::int32_t idRange = deep ? 40 : 3 + static_cast<std::int32_t>(seed % 10);
    ModelNode model;
    model.name = "Root_0";
    CobFile file;
    std::int32_t previousId = 0;
    for (int i = 0; i < 150; ++i) {
      const std::int32_t id = static_cast<std::int32_t>(random() % idRange);
      const bool chain = deep && random() % 10 < 8;
      const std::int32_t parentId = chain ? previousId : static_cast<std::int32_t>(random() % (idRange + 2));
      previousId = id;
      int objectIndex = -1;
      ModelNode* parent = model_find(model, parentId, objectIndex);
      if (!parent) {
        parent = &model;
        objectIndex = -1;
      }
      const std::string name = "c" + std::to_string(i);
      if (random() % 2) {
        file.chunk("Grou", id, parentId, group(name));
        if (objectIndex >= 0) continue;
        auto& child = *parent->children.emplace_back(std::make_unique<ModelNode>());
        child.id = id;
        child.name = name;
      } else {
        file.chunk("PolH", id, parentId, marker(name));
        if (objectIndex >= 0) continue;
        parent->objects.emplace_back(id, name);
      }
    }
    const Loaded loaded = load(file);
    SCOPED_TRACE("seed " + std::to_string(seed));
    expect_same_tree(model, *loaded.root);
  }
}

// A linear load of 1 MiB takes a few tens of milliseconds (a few hundred
// under the sanitizers); a quadratic lookup takes many seconds.
#ifdef __SANITIZE_ADDRESS__
constexpr auto kLinearLoadBound = std::chrono::milliseconds(3000);
#else
constexpr auto kLinearLoadBound = std::chrono::milliseconds(900);
#endif

std::size_t count_nodes(const SceneNode& root) {
  std::size_t count = 0;
  std::vector<const SceneNode*> pending = {&root};
  while (!pending.empty()) {
    const SceneNode* node = pending.back();
    pending.pop_back();
    ++count;
    for (const auto& child : node->children) pending.push_back(child.get());
  }
  return count;
}

// 1 MiB of small group chunks in shapes that defeat a naive lookup: one long
// chain, many nodes sharing one ID, and a chain whose every level shares it;
// and Grou chunks of size 0, which read their name and axes from the headers
// that follow.
TEST(SceneLoader, LargeFilesOfTinyGroupChunksLoadInLinearTime) {
  constexpr std::size_t kTarget = 1 << 20;
  struct Shape {
    const char* label;
    const char* type;
    Data data;
    std::int32_t (*id)(std::int32_t);
    std::int32_t (*parent)(std::int32_t);
  };
  const Shape shapes[] = {
      {"chain", "Scen", scene("n"), [](std::int32_t i) { return i + 1; }, [](std::int32_t i) { return i; }},
      {"one shared id", "Scen", scene("n"), [](std::int32_t) { return 7; }, [](std::int32_t) { return 0; }},
      {"shared id chain", "Scen", scene("n"), [](std::int32_t i) { return i % 2 ? -5 : i + 1; },
       [](std::int32_t i) { return i % 2 ? i : i - 1; }},
      {"empty Grou chain", "Grou", Data{}, [](std::int32_t i) { return i + 1; }, [](std::int32_t i) { return i; }},
  };
  for (const Shape& shape : shapes) {
    const auto count = static_cast<std::int32_t>(kTarget / (20 + shape.data.size()));
    CobFile file;
    for (std::int32_t i = 0; i < count; ++i) file.chunk(shape.type, shape.id(i), shape.parent(i), shape.data);
    const auto start = std::chrono::steady_clock::now();
    Loaded loaded = load(file);
    const std::size_t nodes = count_nodes(*loaded.root);
    free_scene(std::move(loaded.root));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, kLinearLoadBound) << shape.label;
    // Every chunk made a node; the empty Grou chunks stop where a name
    // length taken from a header (about 30 KB) leaves no room for the axes.
    EXPECT_LE(nodes, static_cast<std::size_t>(count) + 1) << shape.label;
    EXPECT_GE(nodes, static_cast<std::size_t>(count) - 32000 / 20) << shape.label;
  }
}

}  // namespace
}  // namespace facetor::test
