#include <gtest/gtest.h>

#include <cmath>

#include "cob/scene.h"

#include "convert/mesh_builder.h"
#include "convert_fixture.h"

namespace facetor::test {
namespace {

using Corners = std::vector<std::uint32_t>;

const std::vector<Vec3> kSquare = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}};

// An object under the root with the given faces and one plain material 0.
CobFile one_object(const std::string& name, const std::vector<Vec3>& vertices, const std::vector<Face>& faces,
                   const std::vector<MaterialSpec>& materials = {material(0)}, const std::vector<Vec2>& uvs = {}) {
  CobFile file;
  file.chunk("PolH", 1, 0, polh(name, vertices, uvs, faces));
  std::int32_t id = 2;
  for (const MaterialSpec& m : materials) file.chunk("Mat1", id++, 1, mat1(m));
  file.end(id);
  return file;
}

TEST(MeshBuilder, QuadCornersAreReversed) {
  Conversion c;
  c.run(one_object("box", kSquare, {face({0, 1, 2, 3})}));
  EXPECT_EQ(faces_of(c.proto_named("box")), (std::vector<Corners>{{3, 2, 1, 0}}));
  EXPECT_TRUE(contains(c.text(), "  Quad 4 3 2 1\n")) << c.text();
}

TEST(MeshBuilder, CornersShareVerticesOnlyWhenAllKeysAgree) {
  const std::vector<Vec3> v = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}};
  Conversion shared;
  shared.run(one_object("o", v, {face({0, 1, 2}), face({0, 2, 3})}));
  EXPECT_EQ(shared.proto_named("o").vertices.size(), 4u);

  Face other{0, 0, {{0, 0}, {2, 5}, {3, 3}}};  // vertex 2 with another texture coordinate
  Conversion split;
  split.run(one_object("o", v, {face({0, 1, 2}), other}));
  EXPECT_EQ(split.proto_named("o").vertices.size(), 5u);
}

TEST(MeshBuilder, TextureCoordinatesArePlacedAndShiftedByWholeNumbers) {
  struct Case {
    std::vector<float> placement;  // offset u, v, repeat u, v
    std::vector<Vec2> uvs;
    std::vector<std::pair<float, float>> expected;  // per vertex
  };
  const Case cases[] = {
      {{0, 0, 1, 1}, {{-1.5f, 1}, {0.25f, 0.5f}, {0, 0}}, {{0.5f, 0}, {2.25f, 0.5f}, {2, 1}}},
      {{0, 0, 1, 1}, {{-0.0000005f, 1}, {0.5f, 1}, {0, 1}}, {{-0.0000005f, 0}, {0.5f, 0}, {0, 0}}},
      {{0.5f, 0.25f, 2, 4}, {{1, 0}, {0, 1}, {0.5f, 0.5f}}, {{2.5f, 4.25f}, {0.5f, 0.25f}, {1.5f, 2.25f}}},
      {{0, 0, 0, 0}, {{-3, 7}, {5, 5}, {1, 1}}, {{0, 0}, {0, 0}, {0, 0}}},
      {{0, 0, 1, -1}, {{0, 0.5f}, {0, 3}, {0, 0}}, {{0, 0.5f}, {0, 3}, {0, 0}}},  // v: -0.5, 2, -1 shifted by 1
  };
  for (const Case& t : cases) {
    MaterialSpec m = material(0);
    m.maps.push_back(MapRecord{'t', 0, "wood.jpg", t.placement});
    Conversion c;
    c.run(one_object("o", {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}}, {face({0, 1, 2})}, {m}, t.uvs));
    const Prototype& proto = c.proto_named("o");
    ASSERT_EQ(proto.vertices.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_FLOAT_EQ(proto.vertices[i].u, t.expected[i].first) << "vertex " << i;
      EXPECT_FLOAT_EQ(proto.vertices[i].v, t.expected[i].second) << "vertex " << i;
    }
  }
}

TEST(MeshBuilder, CoordinatesNearZeroSnapToZero) {
  Conversion c;
  c.run(one_object("o", {{0.0000005f, 2, 3}, {0.000002f, 2, 3}, {1, -0.0000009f, 3}}, {face({0, 1, 2})}));
  const Prototype& proto = c.proto_named("o");
  EXPECT_EQ(proto.vertices[0].x, 0.0f);
  EXPECT_EQ(proto.vertices[1].x, 0.000002f);
  EXPECT_EQ(proto.vertices[2].y, 0.0f);
}

TEST(MeshBuilder, HoleCornersAreLookedUpAgainByTheirSourceVertex) {
  // Vertex 4 is first used by a face with texture index 9, so the hole's own
  // corner entry (texture index 4) is not the first entry of vertex 4. Without
  // a texture transform the hole takes that first entry.
  const std::vector<Vec3> v = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}};
  const Face before{0, 0, {{4, 9}, {5, 5}, {6, 6}}};
  const std::vector<Face> faces = {before, face({0, 1, 2, 3}), hole({4, 5, 6})};
  Conversion c;
  c.run(one_object("o", v, faces));
  const Prototype& proto = c.proto_named("o");
  // Entries: 0 = v4/uv9, 1 = v5, 2 = v6, 3..6 = v0..v3, 7 = v4/uv4 (the hole's own).
  ASSERT_EQ(proto.faces.size(), 2u);
  EXPECT_EQ(faces_of(proto)[1], (Corners{6, 5, 4, 3, 0, 2, 1, 0, 3}));

  MaterialSpec textured = material(0);
  textured.maps.push_back(texture_map("t.jpg"));
  Conversion t;
  t.run(one_object("o", v, faces, {textured}, {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}));
  const Prototype& tp = t.proto_named("o");
  ASSERT_EQ(tp.faces.size(), 2u);
  EXPECT_EQ(faces_of(tp)[1], (Corners{6, 5, 4, 3, 7, 2, 1, 7, 3}));
}

TEST(MeshBuilder, LightingChangeSplitsIntoAnInternalPrototypeWithTheVerticesItUses) {
  MaterialSpec flat = material(1);
  flat.shader = 'f';
  const std::vector<Vec3> v = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}};
  Conversion c;
  c.run(one_object("obj", v, {face({0, 1, 2}, 0), face({1, 2, 3}, 1)}, {material(0), flat}));
  const ModelNode* node = node_holding(c.root(), "obj");
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(node->protos.size(), 2u);
  EXPECT_EQ(node->protos[0].name, "Internal");
  EXPECT_EQ(node->protos[1].name, "obj");
  ASSERT_EQ(c.written.size(), 2u);
  const Prototype& internal = c.written[1];
  EXPECT_FALSE(internal.litTextures);
  ASSERT_EQ(internal.vertices.size(), 3u);
  EXPECT_EQ(internal.vertices[0].x, 2.0f);
  EXPECT_EQ(faces_of(internal), (std::vector<Corners>{{2, 1, 0}}));
  const std::string text = c.text();
  EXPECT_LT(text.find(" ProtoBegin obj\n"), text.find(" ProtoBegin Internal\n"));
  EXPECT_TRUE(contains(text, " ProtoBegin Internal\n  OpacityFix off\n")) << text;
}

// Faces alternating between an opaque and a translucent material split at
// every face: each prototype handed on holds (and has room for) only the
// vertices of its own face, whatever the size of the object.
TEST(MeshBuilder, AlternatingSplitsHoldOnlyTheirOwnVertices) {
  constexpr int kFaces = 300;
  PolygonObject object;
  object.name = "grid";
  for (int i = 0; i < kFaces; ++i) {
    for (float z : {0.0f, 1.0f, 2.0f}) object.vertices.insert(object.vertices.end(), {float(i), z, z + 1});
    PolyFace f;
    f.materialIndex = static_cast<std::uint16_t>(i % 2);
    f.cornerCount = 3;
    f.firstCorner = static_cast<std::uint32_t>(object.corners.size());
    object.corners.insert(object.corners.end(), {{3 * i, 0}, {3 * i + 1, 0}, {3 * i + 2, 0}});
    object.faces.push_back(f);
  }
  Material opaque;
  opaque.alpha = 1;
  Material glass = opaque;
  glass.number = 1;
  glass.alpha = 0.5f;
  object.materials = {opaque, glass};

  OutStream console = out_memory(StreamMode::Binary);
  const std::string source = "test.cob";
  SplitKey key;
  std::vector<float> firstX;
  build_mesh(MeshBuildContext{console, source, key}, object, BuildOptions{}, Prototype{}, [&](const Prototype& proto) {
    EXPECT_EQ(proto.vertices.size(), 3u);
    EXPECT_EQ(proto.vertices.capacity(), 3u);
    EXPECT_EQ(faces_of(proto), (std::vector<Corners>{{2, 1, 0}}));
    firstX.push_back(proto.vertices.empty() ? -1 : proto.vertices[0].x);
  });
  ASSERT_EQ(firstX.size(), static_cast<std::size_t>(kFaces));
  for (int i = 0; i < kFaces; ++i) EXPECT_EQ(firstX[static_cast<std::size_t>(i)], float(i));
}

TEST(MeshBuilder, InvalidIndicesReadAsZeroWithOneWarning) {
  const Face bad{0, 0, {{0, 0}, {7, 40}, {-3, -1}}};
  MaterialSpec textured = material(0);
  textured.maps.push_back(MapRecord{'t', 0, "t.jpg", {0.5f, 0.5f, 1, 1}});
  Conversion c;
  c.run(one_object("obj", {{4, 4, 4}}, {bad}, {textured}, {{0.25f, 0.5f}}));
  EXPECT_EQ(c.warnings(), "test.cob: Warning: 'obj' has faces with invalid vertex indices\n");
  const Prototype& proto = c.proto_named("obj");
  ASSERT_EQ(proto.vertices.size(), 3u);
  EXPECT_EQ(proto.vertices[1].y, 0.0f);
  EXPECT_EQ(proto.vertices[2].z, 0.0f);
  EXPECT_FLOAT_EQ(proto.vertices[1].u, 0.5f);  // s = t = 0: u = offset, v = 1 + offset
  EXPECT_FLOAT_EQ(proto.vertices[1].v, 1.5f);
}

}  // namespace
}  // namespace facetor::test
