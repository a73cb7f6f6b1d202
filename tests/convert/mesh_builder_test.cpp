#include <gtest/gtest.h>

#include <cmath>

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

// Faces of a prototype, first added first.
std::vector<Corners> faces_of(const Prototype& proto) {
  std::vector<Corners> faces;
  for (auto it = proto.faces.rbegin(); it != proto.faces.rend(); ++it) faces.push_back((*it)->corners);
  return faces;
}

TEST(MeshBuilder, QuadCornersAreReversed) {
  Conversion c;
  c.run(one_object("box", kSquare, {face({0, 1, 2, 3})}));
  EXPECT_EQ(faces_of(proto_named(c.root(), "box")), (std::vector<Corners>{{3, 2, 1, 0}}));
  EXPECT_TRUE(contains(c.text(), "  Quad 4 3 2 1\n")) << c.text();
}

TEST(MeshBuilder, CornersShareVerticesOnlyWhenAllKeysAgree) {
  const std::vector<Vec3> v = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}};
  Conversion shared;
  shared.run(one_object("o", v, {face({0, 1, 2}), face({0, 2, 3})}));
  EXPECT_EQ(proto_named(shared.root(), "o").vertices.size(), 4u);

  Face other{0, 0, {{0, 0}, {2, 5}, {3, 3}}};  // vertex 2 with another texture coordinate
  Conversion split;
  split.run(one_object("o", v, {face({0, 1, 2}), other}));
  EXPECT_EQ(proto_named(split.root(), "o").vertices.size(), 5u);
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
    const Prototype& proto = proto_named(c.root(), "o");
    ASSERT_EQ(proto.vertices.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_FLOAT_EQ(proto.vertices[i].u, t.expected[i].first) << "vertex " << i;
      EXPECT_FLOAT_EQ(proto.vertices[i].v, t.expected[i].second) << "vertex " << i;
    }
  }
}

TEST(MeshBuilder, OptvertsMergesByPositionAndTextureIndexOnly) {
  // Vertex 3 lies on vertex 0 (within 1e-6 on x), vertex 4 2e-6 away from vertex 1.
  const std::vector<Vec3> v = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.000001f, 0, 0}, {1.000002f, 0, 0}, {0, 2, 0}};
  const Face a{0, 0, {{0, 0}, {1, 1}, {2, 2}}};
  const Face b{0, 1, {{3, 0}, {4, 1}, {5, 5}}};
  const std::vector<MaterialSpec> materials = {material(0), material(1)};
  Conversion merged;
  merged.run(one_object("qz_obj_optverts", v, {a, b}, materials));
  const Prototype& proto = proto_named(merged.root(), "qz_obj_optverts");
  EXPECT_EQ(proto.vertices.size(), 5u);
  EXPECT_EQ(faces_of(proto), (std::vector<Corners>{{2, 1, 0}, {4, 3, 0}}));

  Conversion plain;
  plain.run(one_object("qz_obj", v, {a, b}, materials));
  EXPECT_EQ(proto_named(plain.root(), "qz_obj").vertices.size(), 6u);

  const Face otherUv{0, 1, {{3, 9}, {4, 1}, {5, 5}}};  // same position, other texture index
  Conversion kept;
  kept.run(one_object("qz_obj_optverts", v, {a, otherUv}, materials));
  EXPECT_EQ(proto_named(kept.root(), "qz_obj_optverts").vertices.size(), 6u);
}

TEST(MeshBuilder, CoordinatesNearZeroSnapToZero) {
  Conversion c;
  c.run(one_object("o", {{0.0000005f, 2, 3}, {0.000002f, 2, 3}, {1, -0.0000009f, 3}}, {face({0, 1, 2})}));
  const Prototype& proto = proto_named(c.root(), "o");
  EXPECT_EQ(proto.vertices[0].x, 0.0f);
  EXPECT_EQ(proto.vertices[1].x, 0.000002f);
  EXPECT_EQ(proto.vertices[2].y, 0.0f);
}

// Outer square 0..3 (corners reversed: 3, 2, 1, 0), hole squares after it.
TEST(MeshBuilder, HolesAreBridgedToTheNearestFreeOuterCorner) {
  struct Case {
    const char* what;
    std::vector<Vec3> vertices;
    std::vector<Face> faces;
    Corners expected;
  };
  const std::vector<Vec3> outer = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}};
  auto with = [&](std::vector<Vec3> more) {
    std::vector<Vec3> all = outer;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const std::vector<Vec3> nearOrigin = {{1, 1, 0}, {2, 1, 0}, {2, 2, 0}, {1, 2, 0}};
  const std::vector<Vec3> nearTopRight = {{8, 8, 0}, {9, 8, 0}, {9, 9, 0}, {8, 9, 0}};
  const std::vector<Vec3> far = {{0, 0, 0}, {5000, 0, 0}, {5000, 5000, 0}, {0, 5000, 0},
                                 {2000, 2000, 0}, {2010, 2000, 0}, {2010, 2010, 0}, {2000, 2010, 0}};
  std::vector<Vec3> two = with(nearOrigin);
  two.insert(two.end(), nearTopRight.begin(), nearTopRight.end());
  const Case cases[] = {
      {"one hole: 4 + 4 + 2 corners, bridged from hole corner 4 to outer corner 0",
       with(nearOrigin), {face({0, 1, 2, 3}), hole({4, 5, 6, 7})}, {3, 2, 1, 0, 4, 7, 6, 5, 4, 0}},
      {"the bridge starts at the nearest hole corner and walks the hole backwards",
       with(nearTopRight), {face({0, 1, 2, 3}), hole({4, 5, 6, 7})}, {3, 2, 6, 5, 4, 7, 6, 2, 1, 0}},
      {"two holes: 4 + 6 + 6 corners; of two equally near holes the earlier goes first",
       two, {face({0, 1, 2, 3}), hole({8, 9, 10, 11}), hole({4, 5, 6, 7})},
       {3, 2, 6, 5, 4, 7, 6, 2, 1, 0, 8, 11, 10, 9, 8, 0}},
      {"holes farther than 1000 units are still bridged", far, {face({0, 1, 2, 3}), hole({4, 5, 6, 7})},
       {3, 2, 1, 0, 4, 7, 6, 5, 4, 0}},
      {"a hole without corners is dropped", with(nearOrigin), {face({0, 1, 2, 3}), hole({})}, {3, 2, 1, 0}},
      {"an outer face without corners keeps no holes", with(nearOrigin), {face({}), hole({4, 5, 6, 7})}, {}},
  };
  for (const Case& t : cases) {
    Conversion c;
    c.run(one_object("o", t.vertices, t.faces));
    const Prototype& proto = proto_named(c.root(), "o");
    ASSERT_EQ(proto.faces.size(), 1u) << t.what;
    EXPECT_EQ(proto.faces.front()->corners, t.expected) << t.what;
    EXPECT_EQ(proto.faces.front()->cornerCount, static_cast<std::int32_t>(t.expected.size())) << t.what;
  }
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
  const Prototype& proto = proto_named(c.root(), "o");
  // Entries: 0 = v4/uv9, 1 = v5, 2 = v6, 3..6 = v0..v3, 7 = v4/uv4 (the hole's own).
  ASSERT_EQ(proto.faces.size(), 2u);
  EXPECT_EQ(proto.faces.front()->corners, (Corners{6, 5, 4, 3, 0, 2, 1, 0, 3}));

  MaterialSpec textured = material(0);
  textured.maps.push_back(texture_map("t.jpg"));
  Conversion t;
  t.run(one_object("o", v, faces, {textured}, {{0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}));
  const Prototype& tp = proto_named(t.root(), "o");
  ASSERT_EQ(tp.faces.size(), 2u);
  EXPECT_EQ(tp.faces.front()->corners, (Corners{6, 5, 4, 3, 7, 2, 1, 7, 3}));
}

TEST(MeshBuilder, LightingChangeSplitsIntoAnInternalPrototypeWithAllVertices) {
  MaterialSpec flat = material(1);
  flat.shader = 'f';
  const std::vector<Vec3> v = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}};
  Conversion c;
  c.run(one_object("obj", v, {face({0, 1, 2}, 0), face({1, 2, 3}, 1)}, {material(0), flat}));
  const ModelNode* node = node_holding(c.root(), "obj");
  ASSERT_NE(node, nullptr);
  ASSERT_EQ(node->protos.size(), 2u);
  EXPECT_EQ(node->protos[0]->name, "Internal");
  EXPECT_EQ(node->protos[1]->name, "obj");
  const Prototype& internal = *node->protos[0];
  EXPECT_EQ(internal.litTextures, 0);
  // The continuation started with all four vertices; compaction kept the three it uses.
  ASSERT_EQ(internal.vertices.size(), 3u);
  EXPECT_EQ(internal.vertices[0].x, 2.0f);
  EXPECT_EQ(faces_of(internal), (std::vector<Corners>{{2, 1, 0}}));
  const std::string text = c.text();
  EXPECT_LT(text.find(" ProtoBegin obj\n"), text.find(" ProtoBegin Internal\n"));
  EXPECT_TRUE(contains(text, " ProtoBegin Internal\n  OpacityFix off\n")) << text;
}

TEST(MeshBuilder, SplitsFollowLightingAndTranslucencyOnly) {
  struct Case {
    const char* what;
    MaterialSpec second;
    std::size_t prototypes;
  };
  MaterialSpec same = material(1);
  same.red = 0.2f;
  MaterialSpec translucent = material(1);
  translucent.alpha = 0.5f;
  MaterialSpec masked = material(1);
  masked.maps.push_back(texture_map("leaf.png", 0x01));
  MaterialSpec otherLit = material(1);
  otherLit.shader = 'c';
  const Case cases[] = {{"same shading and opacity", same, 1},
                        {"translucent", translucent, 2},
                        {"masked texture", masked, 2},
                        {"another lit shader", otherLit, 1}};
  for (const Case& t : cases) {
    Conversion c;
    c.run(one_object("obj", kSquare, {face({0, 1, 2}, 0), face({0, 2, 3}, 1)}, {material(0), t.second}));
    EXPECT_EQ(all_protos(c.root()).size(), t.prototypes) << t.what;
  }
}

TEST(MeshBuilder, AutoFacetSamplesVertexLightAboveFiftyVertices) {
  for (const int corners : {50, 51}) {
    std::vector<Vec3> v;
    Face polygon;
    for (int i = 0; i < corners; ++i) {
      const float angle = static_cast<float>(i) * 0.1f;
      v.push_back({std::cos(angle) + 2, std::sin(angle) + 2, 1});
      polygon.corners.emplace_back(i, 0);
    }
    MaterialSpec automatic = material(0);
    automatic.facet = 'a';
    Conversion c;
    c.run(one_object("ring", v, {polygon}, {automatic}));
    const Prototype& proto = proto_named(c.root(), "ring");
    ASSERT_EQ(proto.faces.size(), 1u);
    EXPECT_EQ(proto.faces.front()->surface->lightSampling, corners > 50 ? 1 : 0) << corners;
  }
  MaterialSpec smooth = material(0);
  smooth.facet = 's';
  Conversion s;
  s.run(one_object("o", kSquare, {face({0, 1, 2})}, {smooth}));
  EXPECT_EQ(proto_named(s.root(), "o").faces.front()->surface->lightSampling, 1);
}

TEST(MeshBuilder, SignsAndPicturesLeaveOutRunsOfAlphaZero) {
  const std::vector<Vec3> v = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {5, 0, 0}, {6, 0, 0}, {6, 1, 0}};
  MaterialSpec clear = material(0);
  clear.alpha = 0;
  const std::vector<Face> faces = {face({0, 1, 2}, 0), face({3, 4, 5}, 1), face({0, 1, 2}, 7)};
  struct Case {
    const char* name;
    std::size_t faces;
  };
  // The run of material 7 has no material: it is produced in every case.
  for (const Case& t : {Case{"qz_door_sign", 2}, Case{"qz_door_picture", 2}, Case{"qz_door", 3}}) {
    Conversion c;
    c.run(one_object(t.name, v, faces, {clear, material(1)}));
    std::size_t faceCount = 0;  // the visible alpha-0 run is translucent: it splits off the rest
    for (const Prototype* proto : all_protos(c.root())) faceCount += proto->faces.size();
    EXPECT_EQ(faceCount, t.faces) << t.name;
    if (t.faces == 2) {
      EXPECT_EQ(proto_named(c.root(), t.name).vertices.size(), 6u)
          << "vertices of the left-out run stay while a face uses them";
    }
  }
  Conversion only;
  only.run(one_object("qz_door_sign", v, {face({0, 1, 2}, 0), face({3, 4, 5}, 1)}, {clear, material(1)}));
  const Prototype& proto = proto_named(only.root(), "qz_door_sign");
  EXPECT_EQ(proto.vertices.size(), 3u) << "compaction removed the vertices no face uses";
  EXPECT_EQ(proto.vertices[0].x, 5.0f);
}

TEST(MeshBuilder, MissingMaterialWarnsPerRunAndKeepsThePreviousSurface) {
  MaterialSpec blue = material(1);
  blue.red = 0;
  blue.green = 0;
  blue.blue = 1;
  const std::vector<Face> faces = {face({0, 1, 2}, 5), face({0, 2, 3}, 5), face({0, 1, 3}, 1),
                                   face({1, 2, 3}, 6)};
  Conversion c;
  c.state.splitKey = SplitKey{1, 1, 0, 1};  // as an earlier lit object left it: no split here
  c.run(one_object("obj", kSquare, faces, {blue}));
  EXPECT_EQ(c.warnings(),
            "test.cob: Warning: 'obj' chunk has no material\n"
            "test.cob: Warning: 'obj' chunk has no material\n");
  const Prototype& proto = proto_named(c.root(), "obj");
  ASSERT_EQ(proto.faces.size(), 4u);
  // Newest first: material 6 (missing) keeps blue; material 1 is blue; the two
  // faces before any material get the default red state, shared.
  const SurfaceState* last = proto.faces[0]->surface.get();
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last, proto.faces[1]->surface.get());
  EXPECT_EQ(last->blue, 255);
  const SurfaceState* fallback = proto.faces[3]->surface.get();
  ASSERT_NE(fallback, nullptr);
  EXPECT_EQ(fallback, proto.faces[2]->surface.get());
  EXPECT_EQ(fallback->red, 255);
  EXPECT_EQ(fallback->green, 0);
  EXPECT_EQ(fallback->opacity, 255);
  EXPECT_EQ(fallback->addressMode, 1);
  EXPECT_EQ(fallback->mipmap, 1);
  EXPECT_FALSE(fallback->texture.has_value());
}

TEST(MeshBuilder, InvalidIndicesReadAsZeroWithOneWarning) {
  const Face bad{0, 0, {{0, 0}, {7, 40}, {-3, -1}}};
  MaterialSpec textured = material(0);
  textured.maps.push_back(MapRecord{'t', 0, "t.jpg", {0.5f, 0.5f, 1, 1}});
  Conversion c;
  c.run(one_object("obj", {{4, 4, 4}}, {bad}, {textured}, {{0.25f, 0.5f}}));
  EXPECT_EQ(c.warnings(), "test.cob: Warning: 'obj' has faces with invalid vertex indices\n");
  const Prototype& proto = proto_named(c.root(), "obj");
  ASSERT_EQ(proto.vertices.size(), 3u);
  EXPECT_EQ(proto.vertices[1].y, 0.0f);
  EXPECT_EQ(proto.vertices[2].z, 0.0f);
  EXPECT_FLOAT_EQ(proto.vertices[1].u, 0.5f);  // s = t = 0: u = offset, v = 1 + offset
  EXPECT_FLOAT_EQ(proto.vertices[1].v, 1.5f);
}

TEST(MeshBuilder, VertexColoursBecomePrelight) {
  CobFile file;
  file.chunk("PolH", 1, 0, polh("o", kSquare, {}, {face({0, 1, 2})}))
      .chunk("Mat1", 2, 1, mat1(material(0)))
      .chunk("VCol", 3, 1, vcol({{0, {0x00336699u, 0, 0x00000001u}}}))
      .end(4);
  Conversion c;
  c.run(file);
  const Prototype& proto = proto_named(c.root(), "o");
  EXPECT_EQ(proto.hasPrelight, 1);
  EXPECT_EQ(proto.vertices[0].red, 0x99);
  EXPECT_EQ(proto.vertices[0].green, 0x66);
  EXPECT_EQ(proto.vertices[0].blue, 0x33);
  EXPECT_EQ(proto.vertices[2].red, 1);
}

TEST(MeshBuilder, TextureBaseName) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\maps\\wood.jpg", "wood"}, {"maps/photo.Png", "photo_Png"}, {"plain", "plain"},
      {"a\\b/c.d.bmp", "c.d"},         {"dir.old/", ""},               {"x.GIF", "x_GIF"}};
  for (const auto& [path, expected] : cases) EXPECT_EQ(texture_base_name(path), expected) << path;
  EXPECT_EQ(texture_base_name(std::string(500, 'a')).size(), 399u);
}

TEST(MeshBuilder, TextureAndMaskNamesReachTheSurface) {
  MaterialSpec masked = material(0);
  masked.maps.push_back(texture_map("C:\\tex\\Leaf.jpg", 0x01));
  Conversion c;
  c.run(one_object("o", kSquare, {face({0, 1, 2})}, {masked}, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}));
  EXPECT_TRUE(contains(c.text(), "  Texture Leaf Mask Leafm\n")) << c.text();
  EXPECT_EQ(proto_named(c.root(), "o").hasUV, 1);
}

}  // namespace
}  // namespace facetor::test
