// Conversion of composed scenes through the real writer, and the corner table
// and hole bridging against their plain scans.
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include "convert/conversion.h"
#include "convert/corner_table.h"
#include "convert/hole_bridge.h"
#include "convert/hole_bridge_indexed.h"
#include "convert/polygon_order.h"
#include "convert/scene_walk.h"
#include "io/hash_key_choice.h"
#include "rwx/proto_writer.h"
#include "support/cob_builder.h"
#include "support/hostile_models.h"
#include "support/scene_chunks.h"

namespace facetor::test {
namespace {
using Corners = std::vector<std::uint32_t>;
const std::vector<Vec3> kSquare = {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}};
MaterialFields material(std::uint16_t number) { MaterialFields spec; spec.number = number; return spec; }

// Entry i of a model tree list counted from the newest, the order the hierarchy writer walks.
template <class T> const auto& newest(const std::vector<T>& list, std::size_t i) { return *list.at(list.size() - 1 - i); }
// A COB file of groups and objects (ids in order) converted through the real writer; keeps a copy of each
// prototype written and its room for vertices.
struct Conversion {
  CobFile file;
  std::int32_t next = 1;
  FileConversion result;
  OutStream out = out_memory(StreamMode::Text), console = out_memory(StreamMode::Binary);
  std::vector<Prototype> written;
  std::vector<std::size_t> room;
  std::string text;  // what was written, with plain line ends
  std::int32_t group(const std::string& name, std::int32_t parent = 0, Vec3 centre = {}) {
    file.chunk("Grou", next, parent, facetor::test::group(name, centre));
    return next++;
  }
  void object(const std::string& name, std::int32_t parent, const std::vector<Vec3>& vertices, const std::vector<Face>& faces,
              const std::vector<MaterialFields>& materials = {material(0)}, const std::vector<Vec2>& uvs = {},
              Vec3 centre = {}, Vec3 move = {}) {
    const std::int32_t id = next++;
    file.chunk("PolH", id, parent, polh(name, vertices, uvs, faces, centre, move));
    for (const MaterialFields& m : materials) file.chunk("Mat1", next++, id, mat1(m));
  }
  void triangle(const std::string& name, std::int32_t parent, Vec3 centre = {}, Vec3 move = {}) {
    object(name, parent, {{1, 0, 0}, {2, 0, 0}, {2, 1, 0}}, {face({0, 1, 2})}, {material(0)}, {}, centre, move);
  }
  void run() {
    std::unique_ptr<SceneNode> root = load_scene(file.end(next++).span(), console, "test.cob");
    ASSERT_TRUE(root);
    RwxWriterState writer{out};
    result = convert_scene(CarriedState{}, console, "test.cob", std::move(root),
                           [&](const Prototype& proto, const Transform& base, const ModelNode& node) {
      write_prototype(writer, proto, base, node.opacityFix);
      written.push_back(proto), room.push_back(proto.vertices.capacity());
    });
    std::erase(text = out_contents(out), '\r');
  }
  const ModelNode& top(std::size_t i) const { return newest(result.model.root->children, i); }
};
std::vector<Corners> faces_of(const Prototype& proto) {
  std::vector<Corners> faces;
  for (const MeshFace& f : proto.faces) { const auto c = face_corners(proto, f); faces.emplace_back(c.begin(), c.end()); }
  return faces;
}

// Node directives reach later siblings and descendants, never parents; object directives change only the
// object; names without the prefix carry none; the later of two wins; no avatar first, so frames rotate.
TEST(Conversion, DirectivesFlowDownAndForward) {
  Conversion c;
  c.triangle("wall_wireframe", c.group("body_collisionoff"));
  const auto g1 = c.group("qz_g1_wireframe_tamclamp");
  c.triangle("o1", g1);
  c.triangle("qz_a_tamwrap_opacityfixon", c.group("qz_c1_solid_collisionon_collisionoff", g1));
  c.triangle("oc2", c.group("c2", g1));
  c.triangle("o3", c.group("qz_c3_mipmapoff_opacityfixon_opacityfixoff", c.group("g3")));
  c.run();
  EXPECT_TRUE(c.result.model.rotateFlag);
  std::string settings;  // the prototypes' setting lines
  for (std::size_t at = 0, end; (end = c.text.find('\n', at)) != std::string::npos; at = end + 1) {
    const std::string line = c.text.substr(at, end + 1 - at);
    if (line.starts_with(" ProtoBegin") || line.starts_with("  G") || line.starts_with("  OpacityFix") || line[2] == '#') settings += line;
  }
  const std::string here = __FILE__;
  EXPECT_EQ(settings, read_file(here.substr(0, here.find_last_of("/\\")) + "/expected/directives.txt"));
  EXPECT_TRUE(c.top(2).collision);  // top-level nodes in reverse order
  EXPECT_EQ(newest(c.top(1).children, 1).protos.at(0).name, "qz_a_tamwrap_opacityfixon");
  EXPECT_FALSE(newest(c.top(1).children, 1).collision);
}

// Scene children, then extra nodes, last object first; "leftarm" is no joint, "lfelbow" is; neck: this
// node found a joint already.
TEST(Conversion, AvatarJointNumbersPivotsAndExtraNodes) {
  Conversion c;
  const auto body = c.group("QZ_Body_Avatar", 0, {1, 2, 3});
  c.triangle("qz_box", body, {9, 9, 9}, {5, 5, 5});
  c.triangle("qz_leftarm_lfelbow", body, {4, 4, 4}, {6, 0, 0});
  c.triangle("qz_neck", body);
  c.triangle("qz_head", c.group("qz_kid", body));
  c.run();
  EXPECT_FALSE(c.result.model.rotateFlag);
  const ModelNode& node = c.top(0);
  ASSERT_EQ(std::tuple(node.protos.size(), node.children.size()), std::tuple(1u, 3u));
  EXPECT_EQ(std::tuple(node.protos.front().translation[0], node.protos.front().translation[2]), std::tuple(1.0f, 3.0f));
  std::string joints;
  for (std::size_t i = 0; i < 3; ++i) joints += newest(node.children, i).protos[0].name + std::to_string(newest(node.children, i).protos[0].joint);
  EXPECT_EQ(joints, "qz_head4qz_neck0qz_leftarm_lfelbow12");
  EXPECT_EQ(newest(node.children, 2).protos.front().translation[0], 0.0f);
  EXPECT_NE(c.text.find("  OpacityFix off\n  Transform 1. 0. 0. 0. 0. 1. 0. 0. 0. 0. 1. 0. 5. 5. 5. 1.\n"), std::string::npos);
}

// Vertex 4 is first used with texture index 9, so the hole's own entry is not its first; only under a
// texture transform does the hole keep its own. Texture placement and the whole-number shift, near-zero
// snapping, invalid indices read as 0 with one warning.
TEST(Conversion, HoleCornersTexturePlacementAndInvalidIndices) {
  const std::vector<Vec3> v = {{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}, {1, 1, 0}, {2, 1, 0}, {2, 2, 0}};
  const std::vector<Face> faces = {Face{0, 0, {{4, 9}, {5, 5}, {6, 6}}}, face({0, 1, 2, 3}), hole({4, 5, 6})};
  MaterialFields textured = material(0), placed = material(0);
  textured.maps.push_back(texture_map("t.jpg", 1));  // with a mask
  placed.maps.push_back(MapRecord{'t', 0, "t.jpg", {0.5f, 0.25f, 2, -4}});
  Conversion c;
  c.object("o", 0, v, faces);
  c.object("t", 0, v, faces, {textured}, std::vector<Vec2>(10));
  c.object("obj", 0, {{0.0000005f, 1, 1}, {0.000002f, -0.0000009f, 1}}, {Face{0, 0, {{0, 0}, {1, 1}, {7, 40}, {-3, -1}}}},
           {placed}, {{1, 0}, {-1.5f, 0.5f}});
  c.run();
  EXPECT_EQ(faces_of(c.written.at(0)), (std::vector<Corners>{{2, 1, 0}, {6, 5, 4, 3, 0, 2, 1, 0, 3}}));
  EXPECT_EQ(faces_of(c.written.at(1)).at(1), (Corners{6, 5, 4, 3, 7, 2, 1, 7, 3}));
  EXPECT_EQ(out_contents(c.console), "test.cob: Warning: 'obj' has faces with invalid vertex indices\n");
  EXPECT_NE(c.text.find("  Texture t Mask tm\n"), std::string::npos) << c.text;
  const auto& vertices = c.written.at(2).vertices;
  ASSERT_EQ(vertices.size(), 4u);
  const std::tuple<float, float, float, float, float> expected[] = {
      {0, 1, 1, 5.5f, 0.25f}, {0.000002f, 0, 1, 0.5f, 2.25f}, {0, 0, 0, 3.5f, 0.25f}};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(std::tuple(vertices[i].x, vertices[i].y, vertices[i].z, vertices[i].u, vertices[i].v), expected[i]);
}

// Materials that differ only in their texture keep their own surfaces; u alone, or v alone, below zero
// shifts by whole numbers; equal vertices are written once however many there are.
TEST(Conversion, TextureSurfacesUShiftAndRepeatedVertices) {
  MaterialFields a = material(0), b = material(1);
  a.maps.push_back(texture_map("a.jpg")), b.maps.push_back(texture_map("b.jpg"));
  Conversion c;
  c.object("o", 0, kSquare, {face({0, 1, 2}, 0), face({0, 2, 3}, 1)}, {a, b}, {{-1.5f, 0.25f}, {0, 0.5f}, {0.5f, 0.75f}, {0.25f, 0.25f}});
  std::vector<Face> same;  // 21 corners of their own, of 3 distinct vertices: the writer writes 3
  std::vector<Vec2> uvs;
  for (int k = 0; k < 7; ++k) {
    same.push_back(Face{0, 0, {{0, 3 * k}, {1, 3 * k + 1}, {2, 3 * k + 2}}});
    uvs.insert(uvs.end(), {{0, 0}, {1, 0}, {1, 1}});
  }
  c.object("many", 0, kSquare, same, {a}, uvs);
  c.object("v", 0, kSquare, {face({0, 1, 2})}, {a}, {{0, 1.5f}, {0.5f, 0.5f}, {1, 0.25f}});
  // A large object's entries are prepared in halves: its only coordinate below 0, and its only one other than
  // (0, 0) once placed, lie in its last corner.
  std::vector<Vec3> line;
  std::vector<Face> strip;
  for (int i = 0; i < 70002; ++i) line.push_back({float(i), 0, 0});
  for (int i = 0; i < 70002; i += 3) strip.push_back(face({i, i + 1, i + 2}));
  std::vector<Vec2> lineUvs(70002, Vec2{0, 1});
  lineUvs.back() = {-1.5f, 1};
  c.object("long", 0, line, strip, {a}, lineUvs);
  c.run();
  EXPECT_TRUE(c.written.at(3).hasUV);
  EXPECT_EQ(c.written.at(3).vertices.front().u, 2.0f);
  EXPECT_EQ(c.written.at(3).vertices.back().u, 0.5f);
  const std::size_t manyAt = c.text.find("ProtoBegin many");
  const std::string many = c.text.substr(manyAt, c.text.find("ProtoBegin v") - manyAt);
  EXPECT_EQ(c.written.at(1).vertices.size(), 21u);
  EXPECT_EQ(std::tuple(many.find("# 3\n") != many.npos, many.find("# 4\n") != many.npos), std::tuple(true, false)) << many;
  EXPECT_NE(c.text.find("  Texture a\n"), std::string::npos);
  EXPECT_NE(c.text.find("  Texture b\n"), std::string::npos);
  std::vector<float> u;  // each corner's u moved up by 2, the whole number that lifts -1.5 to 0.5 (v = 1 - v stays)
  for (const MeshVertex& v : c.written.at(0).vertices) u.push_back(v.u);
  EXPECT_EQ(u, (std::vector<float>{0.5f, 2, 2.5f, 0.5f, 2.5f, 2.25f}));
  std::vector<float> v;  // and v alone: 1 - 1.5 lifted by 1 to 0.5
  for (const MeshVertex& vertex : c.written.at(2).vertices) v.push_back(vertex.v);
  EXPECT_EQ(v, (std::vector<float>{0.5f, 1.5f, 1.75f}));
}

// A prototype lists each distinct state once however many runs (and materials) use it; a run whose state
// equals the one in force (texture names without case) keeps that one.
TEST(Conversion, RunsShareSurfaceStatesByValue) {
  MaterialFields wood = material(0), shout = material(1), red = material(2), odd = material(3), dim = material(5);
  wood.maps.push_back(texture_map("dir/Wood.jpg")), shout.maps.push_back(texture_map("WOOD.jpg"));
  red.green = dim.green = 0, odd.ambient = NAN, dim.ambient = 0.5f;
  MaterialFields twin = wood;
  twin.number = 4;
  Conversion c;
  std::vector<Face> faces;
  for (std::uint16_t m : {0, 1, 2, 1, 0, 3, 3, 2, 0, 2, 1, 3, 4, 5, 2}) faces.push_back(face({0, 1, 2}, m));
  c.object("o", 0, kSquare, faces, {wood, shout, red, odd, twin, dim});
  c.run();
  const Prototype& p = c.written.at(0);
  std::string states;  // per face: o (Wood), O (WOOD), - (none), N (NaN), a (ambient 0.5)
  for (const MeshFace& f : p.faces) {
    const SurfaceState* s = face_surface(p, f);
    states += std::isnan(s->ambient) ? 'N' : s->ambient == 0.5f ? 'a' : !s->texture ? '-' : s->texture->at(1);
  }
  EXPECT_EQ(states, "oo-OONN-o-ONoa-");
  EXPECT_EQ(p.surfaces.size(), 5u);  // the twin's state is Wood's
}

// Lighting, or translucency alone (faces alternate opaque and translucent), splits off an internal
// prototype holding, and with room for, only the vertices it uses; colour does not, under either mipmap.
TEST(Conversion, SplitsOnLightingOrTranslucencyOnly) {
  MaterialFields flat = material(1), glass = material(1), red = material(1);
  flat.shader = 'f', glass.alpha = 0.5f, red.red = 1;
  std::vector<Vec3> grid;
  std::vector<Face> alternating, two = {face({0, 1, 2}, 0), face({1, 2, 3}, 1)};
  for (int i = 0; i < 300; ++i) {
    for (float z : {0.0f, 1.0f, 2.0f}) grid.push_back({float(i), z, z + 1});
    alternating.push_back(face({3 * i, 3 * i + 1, 3 * i + 2}, static_cast<std::uint16_t>(i % 2)));
  }
  Conversion c;
  c.object("flat", 0, kSquare, two, {material(0), flat});
  c.file.chunk("VCol", c.next++, 1, Data().i32(1).i32(0).i32(3).i32(0xFF).i32(0xFF00).i32(0xFF0000));  // the first face lit
  c.object("grid", 0, grid, alternating, {material(0), glass});
  c.object("qz_red_mipmapoff", 0, kSquare, two, {material(0), red});
  c.object("red", 0, kSquare, two, {material(0), red});
  c.run();
  ASSERT_EQ(c.written.size(), 304u);
  EXPECT_TRUE(c.written[0].hasPrelight);
  EXPECT_TRUE(c.written[1].hasPrelight);  // the continuation keeps it
  std::vector<int> prelight;  // red, green, blue bytes of each vertex
  for (const MeshVertex& v : c.written[0].vertices) prelight.insert(prelight.end(), {v.red, v.green, v.blue});
  EXPECT_EQ(prelight, (std::vector<int>{255, 0, 0, 0, 255, 0, 0, 0, 255}));
  for (std::size_t i = 1; i < 302; ++i) {
    const Prototype& p = c.written[i];
    EXPECT_EQ(cleaned_name(p), i == 2 ? "grid" : "Internal");
    EXPECT_EQ(std::tuple(p.litTextures, c.room[i], p.vertices.size()), std::tuple(i != 1, 3u, 3u)) << i;
    EXPECT_EQ(p.vertices.at(0).x, i == 1 ? 2.0f : float(i - 2));
    EXPECT_EQ(faces_of(p), (std::vector<Corners>{{2, 1, 0}}));
  }
  std::vector<ProtoInstance> instances(c.top(0).protos.rbegin(), c.top(0).protos.rend());  // newest first, each split before its object
  EXPECT_EQ(instances[0].name + instances[1].name + instances[2].name, "redqz_red_mipmapoffInternal");
  EXPECT_EQ(instances.at(302).name + instances.at(303).name, "Internalflat");
  EXPECT_NE(c.text.find(" ProtoEnd # flat\n ProtoBegin Internal\n  OpacityFix off\n"), std::string::npos);
  EXPECT_NE(c.text.find(" ProtoEnd # grid\n ProtoBegin Internal\n  TextureModes Lit\n"), std::string::npos);
}

// "_optverts" makes corners within the tolerance of each other one vertex; without it they stay apart.
TEST(Conversion, OptvertsJoinsCornersWithinTheTolerance) {
  const std::vector<Vec3> near = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0.0000005f, 0, 0}};
  Conversion c;
  const std::vector<Face> faces = {face({0, 1, 2}), Face{0, 0, {{3, 0}, {2, 2}, {1, 1}}}};  // texture index 0 twice
  c.object("qz_a_optverts", 0, near, faces);
  c.object("qz_b", 0, near, faces);
  c.run();
  EXPECT_EQ(c.written.at(0).vertices.size(), 3u);
  EXPECT_EQ(c.written.at(1).vertices.size(), 4u);
}

// Spending the lists read stops where one object's lists hold another's: here the first object's vertex
// list holds the second object's chunk, in a file of large blocks, which converts as the scene does unspent.
// (Pages are given only where large blocks are mapped pages: Linux builds without sanitizers.)
TEST(Conversion, ListsThatALaterObjectReadsAreNotSpent) {
  std::vector<Vec3> strip;
  std::vector<Face> faces;
  for (int i = 0; i < 300000; ++i) strip.push_back({float(i % 2), float(i / 2), 0});
  for (int i = 0; i + 2 < 300000; ++i) faces.push_back(face({i, i + 1, i + 2}));
  CobFile inner;
  inner.bytes.clear();
  inner.chunk("PolH", 2, 0, polh("b", strip, {}, faces)).end(3).bytes.resize((inner.bytes.size() + 11) / 12 * 12);
  Data a = Data{}.name("a").axes().matrix();
  const auto declared = static_cast<std::int32_t>(a.size() + 4);  // the next chunk starts at the first vertex
  a.i32(static_cast<std::int32_t>(inner.bytes.size() / 12)).raw(inner.bytes).i32(0).i32(1).u8(0).u16(3).u16(0);
  for (int corner = 0; corner < 3; ++corner) a.i32(corner).i32(0);
  Conversion c;
  c.file.chunk_sized("PolH", 1, 0, a, declared);
  c.run();
  OutStream out = out_memory(StreamMode::Text);
  write_rwx_conversion(CarriedState{}, out, c.console, "test.cob", {c.file.bytes.begin(), c.file.bytes.end()});
  std::string text = out_contents(out);
  std::erase(text, '\r');
  EXPECT_NE(text.find(c.text), std::string::npos);
  EXPECT_EQ(c.written.at(1).vertices.size(), strip.size());
}

// An object without faces is written with the vertex transform of the last object that had
// some: none before the first such object, so its transform is all zeros.
TEST(Conversion, ObjectsWithoutFacesTakeTheLastVertexTransform) {
  Conversion c;
  c.object("bare", 0, kSquare, {});
  c.triangle("t", 0, {}, {5, 5, 5});
  c.object("bare2", 0, kSquare, {});
  c.run();
  const std::string zero = "  Transform 0. 0. 0. 0. 0. 0. 0. 0. 0. 0. 0. 0. 0. 0. 0. 1.\n";
  const std::size_t first = c.text.find("  Transform "), second = c.text.find("  Transform ", first + 1);
  const std::size_t third = c.text.find("  Transform ", second + 1);
  ASSERT_NE(third, std::string::npos);
  EXPECT_EQ(c.text.substr(first, zero.size()), zero);
  EXPECT_EQ(c.text.substr(second, 60), c.text.substr(third, 60));
  EXPECT_NE(c.text.substr(second, zero.size()), zero);
}

// Bone and Join chunks go to the first object of the node whose object was read last, whatever their parent,
// and come out as the prototype's joint table.
TEST(Conversion, SkeletonChunksGoToTheFirstObjectOfTheLastPolygonNode) {
  const Data dot = polh("o", {{0, 0, 0}}, {}, {});
  CobFile file;
  file.chunk("Grou", 1, 0, group("g")).chunk("PolH", 2, 1, dot).chunk("PolH", 3, 1, dot).chunk("Bone", 4, 3, bone("qz_lfknee"));
  file.chunk("PolH", 5, 0, dot).chunk("Bone", 6, 1, bone("qz_pelvis")).end();
  OutStream console = out_memory(StreamMode::Binary);
  const std::unique_ptr<SceneNode> root = load_scene(file.span(), console, "t.cob");
  const auto& g = root->children.at(0)->objects;
  ASSERT_EQ(g.size(), 2u);
  ASSERT_EQ(std::tuple(g[0]->bones.size(), g[1]->bones.size(), root->objects.at(0)->bones.size()), std::tuple(1u, 0u, 1u));
  EXPECT_EQ(std::tuple(g[0]->bones[0].joint, root->objects[0]->bones[0].joint), std::tuple(20, 1));  // knee, pelvis
  Conversion c;
  c.triangle("qz_pelvis", 0);
  c.file.chunk("Bone", c.next++, 1, bone("qz_pelvis"));
  c.file.chunk("Join", c.next++, 1, join({"qz_pelvis", {10, 20, 30}, 0, "qz_back", "qz_pelvis"}));
  c.file.chunk("Skin", c.next++, 1, skin("qz_lfhip", {2}));  // the third vertex is the left hip's
  c.run();
  // A skinned prototype: its own clump frame, the joint table root, the Join's parent and pivot at a tenth, the
  // Skin's joint (19) as the tag of its vertex.
  EXPECT_TRUE(c.text.starts_with("ClumpBegin\n Scale .1 .1 .1\n ClumpBegin\n  #! Bone 82 0 0. 0. 0.\n  #! Bone 1 2 1. 2. 3.\n"
                                 "  TextureModes Lit\n") && c.text.find("  Vertex 2. 1. 0. #! BoneTag 1 19 # 3\n") != std::string::npos) << c.text;
}
using Polygon = Corners;
struct BridgeFace {
  CornerEntries entries;
  Polygon polygon{}, measured{}, inserted{}, first{0};  // the holes' corners in a row, hole h from first[h]
  void add_hole(const Polygon& m, const Polygon& i) {
    measured.insert(measured.end(), m.begin(), m.end()), inserted.insert(inserted.end(), i.begin(), i.end());
    first.push_back(std::uint32_t(measured.size()));
  }
  FaceHoles holes() const { return {measured, inserted, first}; }
};

// The plain scan: over unmerged holes, their corners, unbridged polygon positions, keep the pair that beats
// the best so far by more than 1e-6.
void reference_bridge(BridgeFace& f) {
  const FaceHoles holes = f.holes();
  std::vector<bool> merged(holes.count(), false);
  for (std::size_t n = 0; n < holes.count() && !f.polygon.empty(); ++n) {
    float best = std::numeric_limits<float>::infinity();
    std::size_t bestHole = 0, bestCorner = 0, bestPosition = 0;
    while (merged[bestHole]) ++bestHole;
    for (std::size_t h = 0; h < holes.count(); ++h) {
      for (std::size_t c = 0; c < holes.corners(h) && !merged[h]; ++c) {
        const CornerVertex& p = f.entries[holes.measured[holes.first[h] + c]];
        for (std::size_t j = 0; j < f.polygon.size(); ++j) {
          const CornerVertex& e = f.entries[f.polygon[j]];
          const float dx = p.x - e.x, dy = p.y - e.y, dz = p.z - e.z, d = dx * dx + dy * dy + dz * dz;
          if (!e.bridged && d - best < -1e-6f) best = d, bestHole = h, bestCorner = c, bestPosition = j;
        }
      }
    }
    const std::uint32_t bridge = f.polygon[bestPosition];
    f.entries[bridge].bridged = merged[bestHole] = true;
    const Polygon inserted(f.inserted.begin() + holes.first[bestHole], f.inserted.begin() + holes.first[bestHole + 1]);
    Polygon added(inserted.size() + 2, bridge);  // the hole from its corner on, backwards, round to the bridge
    for (std::size_t k = 0, c = bestCorner; k <= inserted.size(); ++k, c = (c ? c : inserted.size()) - 1) added[k] = inserted[c];
    f.polygon.insert(f.polygon.begin() + static_cast<std::ptrdiff_t>(bestPosition + 1), added.begin(), added.end());
  }
}
// Bridges the face, as small faces are and through the indexes, and checks polygon and bridge marks against the scan.
Polygon bridged_as_scan(const BridgeFace& face) {
  BridgeFace expected = face, actual = face, indexed = face;
  reference_bridge(expected);
  bridge_holes(actual.entries, actual.polygon, actual.holes());
  bridge_holes_indexed(indexed.entries, indexed.polygon, indexed.holes());
  EXPECT_EQ(actual.polygon, expected.polygon);
  EXPECT_EQ(indexed.polygon, expected.polygon);
  for (std::size_t i = 0; i < face.entries.size(); ++i) {
    EXPECT_EQ(actual.entries[i].bridged, expected.entries[i].bridged) << i;
    EXPECT_EQ(indexed.entries[i].bridged, expected.entries[i].bridged) << i;
  }
  return actual.polygon;
}
enum class Layout { Scattered, Pile, Cluster, WithinTolerance, NotFinite, Huge, Line, Circle, Chain, Lattice, Count };
// Faces in one adversarial layout: piles, clusters narrower than the tolerance or near 0, NaN/inf, overflowing
// squares, lines, circles and lattices (equal distances), chains a fraction of the tolerance apart; entries
// repeat across polygon and holes, holes now and then too.
BridgeFace random_face(std::mt19937& random, Layout layout, std::size_t maxHoles) {
  std::uniform_real_distribution<float> wide(-50, 50), narrow(0, 1e-5f);
  std::uniform_int_distribution<int> pick(0, 99);
  const float inf = std::numeric_limits<float>::infinity();
  BridgeFace face;
  auto coordinate = [&]() -> float {
    const int roll = pick(random);
    switch (layout) {
      case Layout::Pile: return roll < 90 ? 2.5f : float(roll % 3) * 10;
      case Layout::Cluster: return roll < 50 ? std::nextafter(0.75f, 2.0f) + float(roll % 5) * 6e-8f : float(roll % 7) * 1e-21f;
      case Layout::WithinTolerance: return narrow(random);
      case Layout::NotFinite: return roll < 3 ? std::nanf("") : roll < 5 ? (roll == 3 ? inf : -inf) : wide(random);
      case Layout::Huge: return roll < 20 ? (roll < 10 ? 3e38f : -3e38f) : roll < 70 ? 1e30f + float(roll % 4) * 1e23f : wide(random);
      case Layout::Line: case Layout::Lattice: return float(roll % (layout == Layout::Line ? 20 : 7));
      default: return wide(random);
    }
  };
  auto add = [&](float x, float y, float z) { face.entries.push_back(CornerVertex{.x = x, .y = y, .z = z}); };
  for (int k = 0; layout == Layout::Chain && k < 40; ++k) {  // squared distances 1 + k * 0.4e-6, shuffled
    const float anchor = float(pick(random) % 3) * 10;
    add(anchor + std::sqrt(1.0f + float(pick(random) % 25) * 0.4e-6f), 0, 0), add(anchor, 0, 0);
  }
  const int ring[][2] = {{3, 4}, {4, 3}, {5, 0}, {0, 5}, {-3, 4}, {-4, -3}, {0, -5}, {-5, 0}, {15, 20}, {-20, 15}};
  for (int k = 0; layout == Layout::Circle && k < 120; ++k) {
    const float cx = float(pick(random) % 3) * 7, cy = float(pick(random) % 2) * 9;
    if (k % 5 == 0) add(cx, cy, 0);
    const auto* offset = ring[pick(random) % 10];
    add(cx + float(offset[0]), cy + float(offset[1]), 0);
  }
  for (std::size_t count = 60 + std::size_t(pick(random)) * 3; face.entries.size() < count;) {
    const float x = coordinate(), y = coordinate();
    add(x, y, layout == Layout::Scattered || layout == Layout::Line ? 0.0f : coordinate());
  }
  std::uniform_int_distribution<std::uint32_t> entry(0, std::uint32_t(face.entries.size() - 1));
  face.polygon.resize(3 + std::size_t(pick(random)) % (maxHoles > 10 ? 80 : 20));
  for (auto& p : face.polygon) p = entry(random);
  Polygon measured, inserted;
  for (std::size_t h = 1 + std::size_t(pick(random)) % maxHoles; h > 0; --h) {
    if (measured.empty() || pick(random) >= 10) {  // else the same hole again
      measured.clear(), inserted.clear();
      for (int c = 1 + pick(random) % 5; c > 0; --c) {
        measured.push_back(entry(random));
        inserted.push_back(pick(random) < 70 ? measured.back() : entry(random));
      }
    }
    face.add_hole(measured, inserted);
  }
  const int marks = pick(random);  // bridge points of other faces: one, or every polygon entry (no slot to start from)
  if (marks < 20) face.entries[entry(random)].bridged = true;
  for (std::uint32_t p : face.polygon) face.entries[p].bridged = face.entries[p].bridged || marks >= 95;
  return face;
}

TEST(HoleBridge, ChoosesExactlyWhatThePlainScanChooses) {
  std::mt19937 random(12345);
  const auto layouts = static_cast<int>(Layout::Count);
  for (int trial = 0; trial < 30 * layouts && !HasFailure(); ++trial) {
    SCOPED_TRACE(trial);
    bridged_as_scan(random_face(random, static_cast<Layout>(trial % layouts), trial % 4 == 3 ? 150 : (trial % 4 == 2 ? 40 : 6)));
  }
  // Many triangle holes of their own entries, scattered or packed closer than the tolerance: later holes bridge
  // to the corners of earlier ones.
  for (int trial = 0; trial < 12 && !HasFailure(); ++trial) {
    const bool packed = trial % 2 == 0;  // 1e-7 apart, 2e-8 wide
    const float size = packed ? 2e-8f : 0.002f;
    std::uniform_real_distribution<float> spot(9.5f, 10.5f);
    BridgeFace face{{{.x = 0}, {.x = 20}, {.x = 20, .y = 20}, {.y = 20}}, {0, 1, 2, 3}};
    for (int h = 0; h < 60; ++h) {
      const float x = packed ? 0.01f + float(h % 8) * 1e-7f : spot(random);
      const float y = packed ? 0.01f + float(h / 8) * 1e-7f : spot(random);
      const auto first = std::uint32_t(face.entries.size());
      face.entries.insert(face.entries.end(), {CornerVertex{.x = x, .y = y}, CornerVertex{.x = x + size, .y = y},
                                               CornerVertex{.x = x, .y = y + size}});
      face.add_hole({first, first + 1, first + 2}, {first, first + 1, first + 2});
    }
    SCOPED_TRACE(trial);
    bridged_as_scan(face);
  }
  // Hole corners about 1 from the polygon's anchors, on the six axes round each, their squared distances a
  // fraction of the tolerance apart and shuffled: the scan's best passes along chains of near ties.
  const float axes[6][3] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  for (int trial = 0; trial < 40 && !HasFailure(); ++trial) {
    const int anchors = 2 + trial % 5;
    BridgeFace face;
    for (int a = 0; a < anchors; ++a) face.entries.push_back(CornerVertex{.x = 10.0f * float(a)});
    for (int k = 0; k < 2 * anchors + 3; ++k) face.polygon.push_back(std::uint32_t(random() % anchors));
    std::vector<std::uint32_t> corners;
    for (int a = 0; a < anchors; ++a) {
      for (const auto& axis : axes) {
        const float r = std::sqrt(1.0f + float(random() % 12) * 0.3e-6f);
        corners.push_back(std::uint32_t(face.entries.size()));
        face.entries.push_back(CornerVertex{.x = 10.0f * float(a) + axis[0] * r, .y = axis[1] * r, .z = axis[2] * r});
      }
    }
    std::shuffle(corners.begin(), corners.end(), random);
    for (std::size_t c = 0; c < corners.size();) {  // holes of one to three corners
      Polygon hole;
      for (std::size_t n = 1 + random() % 3; n > 0 && c < corners.size(); --n) hole.push_back(corners[c++]);
      face.add_hole(hole, hole);
    }
    SCOPED_TRACE(trial);
    bridged_as_scan(face);
  }
  // Long chains of near ties over many holes, remembered from bridge to bridge, and bridges that change the
  // pairs under them: each hole's corner right above an anchor of the polygon at a squared distance of
  // 1 + k units in the last place, k falling in scan order by 5 to 9 (a fall of more than 8 beats) or by 40 at
  // times; holes between them have a corner right below a later hole's anchor, at a distance in the chain, so
  // that a bridge at that anchor takes a pair out of the chain.
  auto root = [](int ulps) {  // a float whose square is 1 + ulps units in the last place
    const float target = 1 + float(ulps) * 0x1p-23f;
    float best = std::sqrt(target);
    for (float r = std::nextafter(best, 0.0f); r <= std::nextafter(best, 2.0f); r = std::nextafter(r, 2.0f)) best = r * r == target ? r : best;
    return best;
  };
  for (int trial = 0; trial < 30 && !HasFailure(); ++trial) {
    const int holes = 20 + 4 * trial;
    BridgeFace face;
    auto add = [&](float x, float y) { return face.entries.push_back(CornerVertex{.x = x, .y = y}), std::uint32_t(face.entries.size() - 1); };
    for (int h = 0; h < holes; ++h) face.polygon.push_back(add(10.0f * float(h), 0));
    for (int h = 0, k = 9 * holes; h < holes; ++h) {
      k -= random() % 25 == 0 ? 40 : 5 + int(random() % 5);
      const std::uint32_t above = add(10.0f * float(h), root(k));
      face.add_hole({above}, {above});
      if (h + 1 < holes && random() % 3 == 0) {  // in the chain, below the anchor of a later hole
        const std::uint32_t below = add(10.0f * float(h + 1 + int(random() % std::uint32_t(holes - h - 1))), -root(k - 3));
        face.add_hole({below}, {below});
      }
    }
    std::shuffle(face.polygon.begin(), face.polygon.end(), random);
    SCOPED_TRACE(trial);
    bridged_as_scan(face);
  }
  // A corner P (entry 5) whose nearest position (entry 0) a hole Q takes first: Q's 48 corners then wait
  // beside P's cluster, more than it keeps, so the cluster is measured again when a search reaches them and
  // P's stored distance rises from 1 to about 1.4; the last hole's corner at 1.21 from P must still reach it.
  BridgeFace far{{{}, {.x = -3, .y = 0.9f}, {.x = 0.5f, .y = -1.7f}, {.x = 1000}, {.y = 0.05f}, {.x = -1},
                  {.x = 0.5f, .y = -1}, {.x = -1, .y = -1.1f}},
                 {0, 1, 2, 3}};
  Polygon q, qSlots;
  for (int k = 0; k < 48; ++k) {
    q.push_back(4), qSlots.push_back(std::uint32_t(far.entries.size()));
    far.entries.push_back({.x = -0.5f - 0.001f * float(k), .y = 1.1f});
  }
  far.add_hole(q, qSlots);
  for (int j = 0; j < 15; ++j) {  // a chain beside P, each nearest the one before
    far.entries.push_back({.x = -3, .y = 1 + 0.01f * float(j)});
    far.add_hole({std::uint32_t(far.entries.size() - 1)}, {std::uint32_t(far.entries.size() - 1)});
  }
  far.add_hole({5}, {5}), far.add_hole({6}, {7});
  bridged_as_scan(far);
  // Squared distances 1 + 1.4e-6, 1 + 0.7e-6 and 1 in scan order: the second does not beat the first by
  // the tolerance, the third does, so the scan ends on the third though the second is within tolerance of it.
  BridgeFace tie{{{.x = 0}, {.x = 1 + 6 * 0x1p-23f}, {.x = 1 + 3 * 0x1p-23f}, {.x = 1}}, {0}};
  tie.add_hole({1, 2, 3}, {1, 2, 3});
  EXPECT_EQ(bridged_as_scan(tie), (Polygon{0, 3, 2, 1, 3, 0}));
}

// Runs of new nodes go in after random nodes, many of them after a few, so that blocks overfill and split
// and the labels of the blocks there run out of room: the order and the keys follow a plain list.
TEST(PolygonOrder, InsertionsKeepTheOrderOfAPlainList) {
  std::mt19937 random(7);
  std::vector<std::uint32_t> list(700);
  for (std::uint32_t n = 0; n < list.size(); ++n) list[n] = n;
  PolygonOrder order;
  polygon_order_init(order, list, list.size() + 1500 * 12);
  for (int step = 0; step < 1500 && !HasFailure(); ++step) {
    const std::uint32_t after = step % 3 == 0 ? list[random() % list.size()] : std::uint32_t(random() % 4);
    std::vector<std::uint32_t> run(1 + random() % 12);
    for (std::uint32_t& node : run) node = static_cast<std::uint32_t>(list.size() + (&node - run.data()));
    list.insert(std::find(list.begin(), list.end(), after) + 1, run.begin(), run.end());
    polygon_order_insert(order, after, run);
    if (step % 100 != 99) continue;
    ASSERT_EQ(polygon_order_nodes(order), list);
    for (std::size_t i = 1; i < list.size(); ++i) {
      ASSERT_LT(polygon_order_key(order, list[i - 1]), polygon_order_key(order, list[i])) << i;
    }
  }
  EXPECT_EQ(polygon_order_first(order), 0u);
  EXPECT_GT(order.blocks.size(), 8u);  // blocks did split
}

// Against the scan for the first entry of the same source, texture index, colour and material, or (optverts)
// within 1e-6 on each axis with the same texture index: coordinates crowd round the borders and centres of grid
// cells (2^-18) in steps finer than the tolerance, or lie beyond 2^43, infinite or NaN. Then hole look-ups.
TEST(CornerTable, FindsTheFirstMatchTheScanWouldFind) {
  std::mt19937 random(99);
  std::uniform_int_distribution<int> small(0, 2), border(-3, 3), step(-12, 12), odd(0, 39);
  const float far[] = {8.796093e12f, 8.796094e12f, -1e13f, 3e38f, INFINITY, NAN};
  auto crowded = [&](float centre) {
    const int pick = odd(random);
    return pick < 6 ? far[pick] : centre + border(random) / 262144.0f + float(step(random)) * 2.5e-7f;
  };
  auto near = [](float a, float b) { return a - b >= -1e-6f && a - b <= 1e-6f; };
  for (int trial = 0; trial < 20; ++trial) {
    set_process_hash_key(HashKey{static_cast<std::uint64_t>(trial), 99});
    constexpr int kSources = 40;
    CornerEntries sources(kSources);
    for (CornerVertex& v : sources) v.x = crowded(0), v.y = crowded(0), v.z = crowded(1);
    CornerTable table;
    table.optverts = trial % 2 == 1;
    table.indexFiniteByKey = trial % 4 != 3;  // as for an object without holes: finite corners by position only
    corner_reserve(table, kSources + 1, 16);
    std::uniform_int_distribution<int> source(-1, kSources);  // -1 and kSources lie outside
    for (int k = 0; k < 300; ++k) {
      const int s = source(random);
      CornerVertex c = (s >= 0 && s < kSources) ? sources[static_cast<std::size_t>(s)] : CornerVertex{};
      c.sourceVertex = s, c.uvIndex = small(random), c.colour = std::uint32_t(small(random)), c.materialNumber = small(random);
      std::int32_t expected = -1;
      for (std::size_t i = 0; i < table.entries.size() && expected < 0; ++i) {
        const CornerVertex& e = table.entries[i];
        if ((e.sourceVertex == s && e.uvIndex == c.uvIndex && e.colour == c.colour && e.materialNumber == c.materialNumber) ||
            (table.optverts && e.uvIndex == c.uvIndex && near(e.x, c.x) && near(e.y, c.y) && near(e.z, c.z))) expected = int(i);
      }
      const auto added = static_cast<std::int32_t>(table.entries.size());
      ASSERT_EQ(corner_match(table, c, corner_cell_hash(table, c)), expected < 0 ? added : expected) << "trial " << trial << " corner " << k;
    }
    for (int n = 0; n < 4 * (kSources + 2); ++n) {
      const int s = n / 4 - 1, k = n % 4;
      const std::int32_t uv = small(random), material = small(random);
      std::int32_t expected = -1;
      for (std::size_t i = table.entries.size(); i-- > 0;) {
        const CornerVertex& e = table.entries[i];
        if (e.sourceVertex == s && (k == 0 || (e.uvIndex == uv && e.materialNumber == material))) expected = int(i);
      }
      ASSERT_EQ(corner_find_for_hole(table, s, k > 0, uv, material), expected) << "source " << s;
    }
  }
}

// The slots that finding every stored key visits: each key's distance from its first slot, plus one.
std::uint64_t find_probes(const HashTable& table) {
  std::uint64_t probes = 0;
  for (std::size_t at = 0; at < table.slots.size(); ++at)
    probes += table.slots[at].id < 0 ? 0 : ((at - table.slots[at].hash) & (table.slots.size() - 1)) + 1;
  return probes;
}

// Vertex indices outside the object sharing one probe window under a fixed mixer, or high bits only.
TEST(CornerTable, ChosenCollidingKeysCostFewProbes) {
  constexpr int kCount = 6000;
  std::vector<std::int32_t> highBits;
  for (std::int32_t i = 1; i <= kCount; ++i) highBits.push_back(i << 18);
  for (const auto& sources : {fixed_mixer_colliding_sources(kCount, 16, 64, 100), highBits}) {
    CornerTable table;
    corner_reserve(table, 3, kCount);
    for (const std::int32_t source : sources) {
      const auto added = static_cast<std::int32_t>(table.entries.size());
      const CornerVertex corner{.sourceVertex = source};
      ASSERT_EQ(corner_match(table, corner, corner_cell_hash(table, corner)), added);
    }
    EXPECT_LT(find_probes(table.exact), std::uint64_t{4} * kCount);
  }
}
}  // namespace
}  // namespace facetor::test
