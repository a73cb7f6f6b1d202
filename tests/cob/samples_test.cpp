// Real files written by a modelling program. The expected values were taken
// from the files' bytes by hand: chunk headers, object names, counts, face
// materials and the Mat1 fixed parts.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "load_helper.h"

namespace facetor::test {
namespace {

std::vector<std::uint8_t> sample(const std::string& name) {
  const std::string path = std::string(FACETOR_SAMPLES_DIR) + "/" + name;
  if (!std::filesystem::exists(path)) return {};
  const std::string text = read_file(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::map<std::uint16_t, int> faces_by_material(const PolygonObject& o) {
  std::map<std::uint16_t, int> histogram;
  for (const PolyFace& f : o.faces) ++histogram[f.materialIndex];
  return histogram;
}

std::map<int, int> faces_by_corner_count(const PolygonObject& o) {
  std::map<int, int> histogram;
  for (const PolyFace& f : o.faces) ++histogram[f.cornerCount];
  return histogram;
}

TEST(SampleFiles, Molecule) {
  const std::vector<std::uint8_t> bytes = sample("molecule.cob");
  if (bytes.empty()) GTEST_SKIP() << "sample folder " FACETOR_SAMPLES_DIR " with molecule.cob is absent";
  const Loaded loaded = load(bytes);
  ASSERT_TRUE(loaded.root);
  EXPECT_TRUE(loaded.root->objects.empty());
  ASSERT_EQ(loaded.root->children.size(), 1u);
  const SceneNode& group = *loaded.root->children[0];
  EXPECT_EQ(group.name, "Nitrogen");
  EXPECT_EQ(group.chunkId, 497130340);
  EXPECT_TRUE(group.children.empty());

  struct Expected {
    std::string name;
    std::int32_t chunkId;
    float centreX;
    float red;
  };
  const std::vector<Expected> expected = {
      {"Sphere", 497163284, 0.00022105001f, 0.34509805f},
      {"Sphere_1", 58548212, 3.2484255f, 1.0f},
      {"Sphere_3", 57850740, -1.6242125f, 1.0f},
      {"Sphere_2", 497235148, -1.6242001f, 1.0f},
  };
  ASSERT_EQ(group.objects.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const PolygonObject& o = *group.objects[i];
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(o.name, expected[i].name);
    EXPECT_EQ(o.chunkId, expected[i].chunkId);
    EXPECT_FLOAT_EQ(o.axes.centre[0], expected[i].centreX);
    EXPECT_EQ(o.vertexCount, 114);
    EXPECT_EQ(o.vertices[2], 1.0f);  // the first vertex is (0, 0, 1)
    EXPECT_EQ(o.uvCount, 153);
    EXPECT_EQ(o.uvs[0], 0.03125f);
    EXPECT_EQ(o.faceCount, 128);
    EXPECT_EQ(faces_by_corner_count(o), (std::map<int, int>{{3, 32}, {4, 96}}));
    EXPECT_EQ(faces_by_material(o), (std::map<std::uint16_t, int>{{0, 128}}));
    ASSERT_EQ(o.materials.size(), 1u);
    const Material& m = o.materials[0];
    EXPECT_EQ(m.number, 0);
    EXPECT_EQ(m.autofacetAngle, 40);
    EXPECT_FLOAT_EQ(m.red, expected[i].red);
    EXPECT_FLOAT_EQ(m.specular, 0.1f);
  }
}

TEST(SampleFiles, Spider) {
  const std::vector<std::uint8_t> bytes = sample("spider_6_6.cob");
  if (bytes.empty()) GTEST_SKIP() << "sample folder " FACETOR_SAMPLES_DIR " with spider_6_6.cob is absent";
  const Loaded loaded = load(bytes);
  ASSERT_TRUE(loaded.root);
  EXPECT_TRUE(loaded.root->children.empty());
  ASSERT_EQ(loaded.root->objects.size(), 1u);
  const PolygonObject& o = *loaded.root->objects[0];
  EXPECT_EQ(o.name, "_1");  // an empty name with duplicate count 1
  EXPECT_EQ(o.chunkId, 211536116);
  EXPECT_EQ(o.vertexCount, 762);
  EXPECT_FLOAT_EQ(o.vertices[0], 0.76614577f);
  EXPECT_EQ(o.uvCount, 1);
  EXPECT_EQ(o.faceCount, 1368);
  EXPECT_EQ(faces_by_corner_count(o), (std::map<int, int>{{3, 1368}}));
  EXPECT_EQ(faces_by_material(o), (std::map<std::uint16_t, int>{{0, 76}, {1, 80}, {2, 260}, {3, 952}}));

  ASSERT_EQ(o.materials.size(), 4u);
  EXPECT_EQ(o.materials[0].number, 1);
  EXPECT_FLOAT_EQ(o.materials[3].red, 0.2f);
  EXPECT_EQ(o.materials[3].ambient, 0.25f);
  EXPECT_EQ(o.materials[2].chunkId, 211469148);
}

}  // namespace
}  // namespace facetor::test
