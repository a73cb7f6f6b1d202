#include <gtest/gtest.h>

#include <stdexcept>

#include "convert/conversion.h"
#include "convert/scene_walk.h"
#include "rwx/proto_writer.h"
#include "support/cob_builder.h"
#include "support/scene_chunks.h"

namespace facetor::test {
namespace {

using Corners = std::vector<std::uint32_t>;
const std::vector<Vec3> kSquare = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}};

MaterialSpec material(std::uint16_t number) { MaterialSpec spec; spec.number = number; return spec; }

// A COB file of groups and objects (ids in order), converted through the real
// writer; keeps a copy of each prototype written and its room for vertices.
struct Conversion {
  CobFile file;
  std::int32_t next = 1;
  ConversionState state;
  OutStream out = out_memory(StreamMode::Text);
  OutStream console = out_memory(StreamMode::Binary);
  std::vector<Prototype> written;
  std::vector<std::size_t> room;
  std::string text;  // what was written, with plain line ends

  std::int32_t group(const std::string& name, std::int32_t parent = 0, Vec3 centre = {}) {
    file.chunk("Grou", next, parent, facetor::test::group(name, centre));
    return next++;
  }
  void object(const std::string& name, std::int32_t parent, const std::vector<Vec3>& vertices,
              const std::vector<Face>& faces, const std::vector<MaterialSpec>& materials = {material(0)},
              const std::vector<Vec2>& uvs = {}, Vec3 centre = {}, Vec3 move = {}) {
    const std::int32_t id = next++;
    file.chunk("PolH", id, parent, polh(name, vertices, uvs, faces, centre, move));
    for (const MaterialSpec& m : materials) file.chunk("Mat1", next++, id, mat1(m));
  }
  void triangle(const std::string& name, std::int32_t parent, Vec3 centre = {}, Vec3 move = {}) {
    object(name, parent, {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}}, {face({0, 1, 2})}, {material(0)}, {}, centre, move);
  }
  void run() {
    file.end(next++);
    state.writer.out = &out, state.sourceName = "test.cob";
    std::unique_ptr<SceneNode> root = load_scene(file.span(), console, "test.cob");
    ASSERT_TRUE(root);
    convert_scene(state, console, root, [this](const Prototype& proto, const ModelNode& node) {
      write_finished(state, proto, node);
      written.push_back(proto);
      room.push_back(proto.vertices.capacity());
    });
    std::erase(text = out_contents(out), '\r');
  }
  const ModelNode& top(std::size_t i) const { return *state.modelRoot->children.at(i); }
  const Prototype& proto(const std::string& name) const {
    for (const Prototype& p : written) {
      if (cleaned_name(p) == name) return p;
    }
    throw std::runtime_error("no prototype " + name);
  }
};

std::vector<Corners> faces_of(const Prototype& proto) {
  std::vector<Corners> faces;
  for (const MeshFace& face : proto.faces) {
    const auto corners = face_corners(proto, face);
    faces.emplace_back(corners.begin(), corners.end());
  }
  return faces;
}

// Node directives reach later siblings and descendants, never parents; object
// directives change only the object; names without the prefix carry none;
// the later of two tests wins; the first node is no avatar, so frames rotate.
TEST(Conversion, DirectivesFlowDownAndForward) {
  Conversion c;
  c.triangle("wall_wireframe", c.group("body_collisionoff"));
  const auto g1 = c.group("qz_g1_wireframe_tamclamp");
  c.triangle("o1", g1);
  c.triangle("qz_a_tamwrap_opacityfixon", c.group("qz_c1_solid_collisionon_collisionoff", g1));
  c.triangle("oc2", c.group("c2", g1));
  c.triangle("o3", c.group("qz_c3_mipmapoff_opacityfixon_opacityfixoff", c.group("g3")));
  c.run();
  EXPECT_TRUE(c.state.rotateFlag);
  std::string settings;  // the prototypes' setting lines
  for (std::size_t at = 0, end; (end = c.text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = c.text.substr(at, end + 1 - at);
    if (line.starts_with(" ProtoBegin") || line.starts_with("  G") || line.starts_with("  OpacityFix") || line[2] == '#') {
      settings += line;
    }
  }
  EXPECT_EQ(settings,
            " ProtoBegin wall_wireframe\n  OpacityFix off\n"
            " ProtoBegin o1\n  GeometrySampling Wireframe\n  OpacityFix off\n  #! TextureAddressMode Clamp\n"
            " ProtoBegin qz_a_tamwrap_opacityfixon\n  OpacityFix on\n"
            " ProtoBegin oc2\n  OpacityFix off\n  #! TextureAddressMode Clamp\n"
            " ProtoBegin o3\n  GeometrySampling Wireframe\n  OpacityFix off\n  #! TextureAddressMode Clamp\n"
            "  #! TextureMipmapState Off\n");
  EXPECT_EQ(c.top(2).collision, 1);  // top-level nodes in reverse order
  EXPECT_EQ(c.top(1).children.at(1)->protos.at(0).name, "qz_a_tamwrap_opacityfixon");
  EXPECT_EQ(c.top(1).children.at(1)->collision, 0);
}

// Scene children, then extra nodes, last object first; "leftarm" is no
// joint, "lfelbow" is; neck: this node found a joint already.
TEST(Conversion, AvatarJointNumbersPivotsAndExtraNodes) {
  Conversion c;
  const auto body = c.group("QZ_Body_Avatar", 0, {1, 2, 3});
  c.triangle("qz_box", body, {9, 9, 9}, {5, 5, 5});
  c.triangle("qz_leftarm_lfelbow", body, {4, 4, 4}, {6, 0, 0});
  c.triangle("qz_neck", body);
  c.triangle("qz_head", c.group("qz_kid", body));
  c.run();
  EXPECT_FALSE(c.state.rotateFlag);
  const ModelNode& node = c.top(0);
  ASSERT_EQ(node.protos.size(), 1u);
  EXPECT_EQ(node.protos.front().translation[0], 1.0f);
  EXPECT_EQ(node.protos.front().translation[2], 3.0f);
  ASSERT_EQ(node.children.size(), 3u);
  const std::pair<const char*, int> expected[] = {{"qz_head", 4}, {"qz_neck", 0}, {"qz_leftarm_lfelbow", 12}};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(node.children[i]->protos.front().name, expected[i].first);
    EXPECT_EQ(node.children[i]->protos.front().joint, expected[i].second);
  }
  EXPECT_EQ(node.children[2]->protos.front().translation[0], 0.0f);
  EXPECT_NE(c.text.find("  OpacityFix off\n  Transform 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1. 0. 5. 5. 5. 1.\n"), std::string::npos);
}

// Vertex 4 is first used with texture index 9, so the hole's own entry is
// not its first; only under a texture transform does the hole keep its own.
TEST(Conversion, QuadsReversedAndHoleCornersLookedUpBySourceVertex) {
  const std::vector<Vec3> v = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}};
  const std::vector<Face> faces = {Face{0, 0, {{4, 9}, {5, 5}, {6, 6}}}, face({0, 1, 2, 3}), hole({4, 5, 6})};
  MaterialSpec textured = material(0);
  textured.maps.push_back(texture_map("t.jpg"));
  Conversion c;
  c.object("o", 0, v, faces);
  c.object("t", 0, v, faces, {textured}, std::vector<Vec2>(10));
  c.object("box", 0, kSquare, {face({0, 1, 2, 3})});
  c.run();
  EXPECT_EQ(faces_of(c.proto("o")), (std::vector<Corners>{{2, 1, 0}, {6, 5, 4, 3, 0, 2, 1, 0, 3}}));
  EXPECT_EQ(faces_of(c.proto("t")).at(1), (Corners{6, 5, 4, 3, 7, 2, 1, 7, 3}));
  EXPECT_NE(c.text.find("  Quad 4 3 2 1\n"), std::string::npos) << c.text;
}

// A change of lighting, or of translucency alone (faces alternating between
// an opaque and a translucent material), splits off an internal prototype
// holding, and with room for, only the vertices it uses; a colour change
// does not split, under either mipmap state.
TEST(Conversion, SplitsOnLightingOrTranslucencyOnly) {
  MaterialSpec flat = material(1), glass = material(1), red = material(1);
  flat.shader = 'f';
  glass.alpha = 0.5f;
  red.red = 1;
  std::vector<Vec3> grid;
  std::vector<Face> alternating, two = {face({0, 1, 2}, 0), face({1, 2, 3}, 1)};
  for (int i = 0; i < 300; ++i) {
    for (float z : {0.0f, 1.0f, 2.0f}) grid.push_back({float(i), z, z + 1});
    alternating.push_back(face({3 * i, 3 * i + 1, 3 * i + 2}, static_cast<std::uint16_t>(i % 2)));
  }
  Conversion c;
  c.object("flat", 0, kSquare, two, {material(0), flat});
  c.object("grid", 0, grid, alternating, {material(0), glass});
  c.object("qz_red_mipmapoff", 0, kSquare, two, {material(0), red});
  c.object("red", 0, kSquare, two, {material(0), red});
  c.run();
  ASSERT_EQ(c.written.size(), 304u);
  for (std::size_t i = 1; i < 302; ++i) {
    EXPECT_EQ(cleaned_name(c.written[i]), i == 2 ? "grid" : "Internal");
    EXPECT_EQ(c.written[i].litTextures, i != 1);
    ASSERT_EQ(c.written[i].vertices.size(), 3u);
    EXPECT_EQ(c.room[i], 3u);
    EXPECT_EQ(c.written[i].vertices[0].x, i == 1 ? 2.0f : float(i - 2));
    EXPECT_EQ(faces_of(c.written[i]), (std::vector<Corners>{{2, 1, 0}}));
  }
  const auto& instances = c.top(0).protos;  // newest first, each split before its object
  EXPECT_EQ(instances[0].name + instances[1].name + instances[2].name, "redqz_red_mipmapoffInternal");
  EXPECT_EQ(instances.at(302).name + instances.at(303).name, "Internalflat");
  EXPECT_NE(c.text.find(" ProtoEnd # flat\n ProtoBegin Internal\n  OpacityFix off\n"), std::string::npos);
  EXPECT_NE(c.text.find(" ProtoEnd # grid\n ProtoBegin Internal\n  TextureModes Lit\n"), std::string::npos);
}

// Texture placement and the whole-number shift, near-zero snapping, and
// invalid indices read as zero with one warning.
TEST(Conversion, TexturePlacementSnapAndInvalidIndices) {
  MaterialSpec m = material(0);
  m.maps.push_back(MapRecord{'t', 0, "t.jpg", {0.5f, 0.25f, 2, -4}});
  Conversion c;
  c.object("obj", 0, {{0.0000005f, 1, 1}, {0.000002f, -0.0000009f, 1}}, {Face{0, 0, {{0, 0}, {1, 1}, {7, 40}, {-3, -1}}}},
           {m}, {{1, 0}, {-1.5f, 0.5f}});
  c.run();
  EXPECT_EQ(out_contents(c.console), "test.cob: Warning: 'obj' has faces with invalid vertex indices\n");
  const Prototype& proto = c.proto("obj");
  ASSERT_EQ(proto.vertices.size(), 4u);
  const std::tuple<float, float, float, float, float> expected[] = {
      {0, 1, 1, 5.5f, 0.25f}, {0.000002f, 0, 1, 0.5f, 2.25f}, {0, 0, 0, 3.5f, 0.25f}};
  for (std::size_t i = 0; i < 3; ++i) {
    const MeshVertex& v = proto.vertices[i];
    EXPECT_EQ(std::tuple(v.x, v.y, v.z, v.u, v.v), expected[i]) << i;
  }
}

}  // namespace
}  // namespace facetor::test
