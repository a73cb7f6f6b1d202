// Reading COB files: bounded readers, the chunk walk, the scene tree and its records, allocation bounds.
#include <gtest/gtest.h>
#include <algorithm>
#include <limits>
#include <random>
#include <string>
#include <vector>
#include <tuple>
#include "cob/container.h"
#include "cob/scene.h"
#include "io/hash_key_choice.h"
#include "joints/joint_names.h"
#include "support/allocation_hook.h"
#include "support/cob_builder.h"
#include "support/scene_chunks.h"

namespace facetor::test {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// A read ending exactly at the end succeeds; one byte more fails, leaves the cursor and sticks.
// The buffer's end bounds every reader, and arrays check their whole span before reading.
TEST(Readers, EveryReadStaysInsideTheBufferAndFailuresStick) {
  const std::vector<std::uint8_t> raw(10, 0x11);
  const Bytes buffer = raw;
  for (const std::int32_t width : {2, 3, 4}) {
    auto read = [&](Reader& r) {
      std::uint8_t three[3]; std::int32_t i32; std::uint16_t u16;
      return width == 2 ? read_u16(r, u16) : width == 3 ? read_bytes(r, three, 3) : read_i32(r, i32);
    };
    Reader r = reader_at(buffer, 6 - width, 6);
    EXPECT_EQ((std::tuple{read(r), r.at}), std::tuple(true, 6)) << width;
    EXPECT_EQ((std::tuple{read(r = reader_at(buffer, 7 - width, 6)), r.at}), std::tuple(false, 7 - width)) << width;
    r.end = 10;
    EXPECT_FALSE(read(r)) << width;  // the failure sticks
    EXPECT_EQ((std::tuple{read(r = reader_at(buffer, 9, 1000)), r.at}), std::tuple(false, 9)) << width;
    EXPECT_FALSE(read(r = reader_at(buffer, -1, 10))) << width;
  }
  float values[3] = {9, 9, 9};
  Reader r = reader_at(buffer, 0, 8);
  EXPECT_EQ((std::tuple{read_f32_array(r, values, 3), r.at, values[0]}), std::tuple(false, 0, 9.0f));
  for (std::int32_t count : {kMax, -1}) EXPECT_EQ((std::tuple{read_f32_array(r = reader_at(buffer, 0, 8), values, count), r.at}), std::tuple(false, 0));
  EXPECT_FALSE(read_f32_array(r = reader_at(buffer, 0, 8), values, std::numeric_limits<std::int32_t>::min()));
  EXPECT_EQ((std::tuple{read_f32_array(r = reader_at(buffer, 0, 8), values, 2), r.at}), std::tuple(true, 8));
}

TEST(Readers, NamesTakeTheirDuplicateSuffixWithinCapacity) {
  const std::string long198(198, 'n');
  const struct { Data data; bool ok; std::string text; std::int32_t cursor; } cases[] = {
      {Data{}.name("Sphere", 0), true, "Sphere", 10}, {Data{}.name("", 1), true, "_1", 4},
      {Data{}.name("Box", 65535), true, "Box_-1", 7},  // the count is signed
      {Data{}.u16(4).i16(50).raw("abc"), true, "_4", 4}, {Data{}.u16(4).i16(-1).raw("abc"), true, "_4", 4},
      {Data{}.name(long198, 12), true, long198 + "_", 202},
      {Data{}.name(std::string(300, 'n'), 7), true, std::string(199, 'n'), 304},
      {Data{}.u16(9).i16(4).raw(std::string("ab\0c", 4)), true, "ab_9", 8}, {Data{}.u8(1), false, "", 0},
  };
  for (const auto& c : cases) {
    Reader r = reader_over(c.data.bytes);
    std::string name = "old";
    EXPECT_EQ((std::tuple{read_name(r, name, 200), name, r.at}), std::tuple(c.ok, c.text, c.cursor)) << c.text;
  }
}

TEST(ChunkWalk, PositionsFollowTheSizesUntilOneLeavesTheFileOrTheSignedRange) {
  const std::vector<std::uint8_t> zeros(20, 0);
  const struct { CobFile file; std::vector<std::int32_t> positions; } cases[] = {
      {CobFile{}.chunk("PolH", 1, 0, Data{}.u32(1).u32(2)).end(2), {32, 60}},
      {CobFile{}.end(1).chunk("PolH", 2, 0, Data{}), {32, 52}},  // runs on past END
      {CobFile{}.end(1).raw({zeros.begin(), zeros.end() - 1}), {32}}, {CobFile{}.end(1).raw(zeros), {32, 52}},
      {CobFile{}.chunk_sized("PolH", 1, 0, Data{}, 1000).end(2), {32}}, {CobFile{}.chunk_sized("PolH", 1, 0, Data{}, kMax).end(2), {32}},
      {CobFile{}.chunk_sized("PolH", 1, 0, Data{}, -20).end(2).end(3), {32}},
      {CobFile{}.chunk("Unit", 1, 0, Data{}.raw(std::string(100, 'u'))).chunk_sized("PolH", 2, 0, Data{}, kMax - 100).end(3), {32, 152}},
  };
  for (const auto& c : cases) {
    std::vector<std::int32_t> positions;
    ChunkWalk walk; ChunkAt chunk;
    while (positions.size() < 100 && chunk_walk_next(c.file.span(), walk, chunk)) {
      EXPECT_EQ(chunk.data, chunk.position + 20);
      positions.push_back(chunk.position);
    }
    EXPECT_EQ(positions, c.positions);
  }
}

// The loaded tree keeps its input, in which faces find their corners.
struct Loaded { std::vector<std::uint8_t> bytes; std::unique_ptr<SceneNode> root; std::string console; };
Loaded load(const CobFile& file) {
  Loaded loaded{file.bytes, nullptr, {}};
  OutStream console = out_memory(StreamMode::Binary);
  loaded.root = load_scene(loaded.bytes, console, "model.cob");
  loaded.console = out_contents(console);
  return loaded;
}
// A one-vertex object; finding "after" shows the chunk loop went on past the chunks before it.
Data marker(std::string_view name) { return polh(name, {{0, 0, 0}}, {}, {}); }
bool went_on(const Loaded& l) { return std::any_of(l.root->objects.begin(), l.root->objects.end(), [](const auto& o) { return o->name == "after"; }); }

// The tree as text: "node(object#material ...)[child ...]".
std::string dump(const SceneNode& node) {
  std::string text = node.name + "(";
  for (const auto& object : node.objects) {
    text += object->name;
    for (const Material& m : object->materials) text += "#" + std::to_string(m.number);
    text += " ";
  }
  for (text += ")["; const auto& child : node.children) text += dump(*child) + " ";
  return text + "]";
}

Data numbered(std::uint16_t number) { return mat1({.number = number, .maps = {}}); }

TEST(SceneLoader, AttachmentRules) {
  const struct { CobFile file; std::string tree; } cases[] = {
      {CobFile{}.chunk("PolH", 5, 999, marker("orphan")).chunk("Grou", 6, 12345, group("lost")), "Root_0(orphan )[lost()[] ]"},
      {CobFile{}.chunk("PolH", 1, 0, marker("host")).chunk("Grou", 2, 1, group("in")).chunk("PolH", 4, 2, marker("orphan"))
           .chunk("Grou", 5, 2, group("grandchild")),
       "Root_0(host orphan )[grandchild()[] ]"},  // a group under an object is skipped
      {CobFile{}.chunk("Grou", 5, 0, group("g5")).chunk("PolH", 6, 5, marker("in5")).chunk("PolH", 5, 0, marker("o5"))
           .chunk("Mat1", 7, 5, numbered(9)).chunk("PolH", 8, 5, marker("under object")).chunk("Grou", 6, 0, group("g6"))
           .chunk("Mat1", 9, 6, numbered(3)),
       "Root_0(o5#9 )[g5(in5#3 )[] g6()[] ]"},  // a shared ID finds the root's objects before its children
      {CobFile{}.chunk("grou", 1, 0, group("g")).chunk("MAT1", 2, 1, numbered(1)).chunk("pOLh", 3, 0, marker("p"))
           .chunk("Mat1", 4, 3, numbered(2)).chunk("Mat1", 5, 3, numbered(0)),
       "Root_0(p#2#0 )[g()[] ]"},
      {CobFile{}.chunk("eNd ", 1, 0, Data{}).chunk("PolH", 2, 0, marker("after")), "Root_0()[]"},
      {CobFile{}.chunk("PolH", 1, 0, polh("empty", {}, {}, {})).chunk("PolH", 2, 0, marker("never")), "Root_0(empty )[]"},
  };
  for (const auto& c : cases) EXPECT_EQ(dump(*load(c.file).root) + load(c.file).console, c.tree);  // nothing printed
}

// A vertex colour chunk with a count or index out of range fails, and the load stops after it.
TEST(SceneLoader, VertexColoursOutOfRangeEndTheLoad) {
  const Data triangle = polh("p", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {}, {face({0, 1, 2})});
  const std::pair<Data, bool> cases[] = {
      {Data{}.i32(1).i32(0).i32(1).i32(7), true}, {Data{}.i32(2).i32(0).i32(1).i32(7).i32(0).i32(1).i32(7), false},
      {Data{}.i32(-1), false}, {Data{}.i32(1).i32(1).i32(1).i32(7), false}, {Data{}.i32(1).i32(-1).i32(1).i32(7), false},
      {Data{}.i32(1).i32(0).i32(-2), false}};
  for (const auto& [colours, loaded] : cases) {
    const CobFile file = CobFile{}.chunk("PolH", 1, 0, triangle).chunk("VCol", 2, 1, colours).chunk("PolH", 3, 0, marker("q"));
    EXPECT_EQ(dump(*load(file).root), loaded ? "Root_0(p q )[]" : "Root_0(p )[]") << colours.size();
  }
}

// The first node carrying id depth first (node, its objects, its children); isObject when one of its objects does.
SceneNode* find(SceneNode& node, std::int32_t id, bool& isObject) {
  isObject = false;
  if (node.chunkId == id) return &node;
  for (const auto& o : node.objects) if (o->chunkId == id) return isObject = true, &node;
  for (auto& child : node.children) if (SceneNode* found = find(*child, id, isObject)) return found;
  return nullptr;
}

// The loader finds parents through an index: on random trees with many shared IDs it attaches every chunk where
// the plain search above does. Odd seeds draw parents at random (wide trees), even seeds mostly chain (deep trees).
TEST(SceneLoader, ParentIndexAgreesWithADepthFirstSearch) {
  for (unsigned seed = 1; seed <= 40; ++seed) {
    set_process_hash_key(HashKey{seed, seed * 7919u});
    std::mt19937 random(seed);
    const bool deep = seed % 2 == 0;
    const std::int32_t idRange = deep ? 40 : 3 + static_cast<std::int32_t>(seed % 10);
    SceneNode model;
    model.name = "Root_0";
    CobFile file;
    std::int32_t previousId = 0;
    for (int i = 0; i < 150; ++i) {
      const auto id = static_cast<std::int32_t>(random() % idRange);
      const bool chain = deep && random() % 10 < 8;
      const std::int32_t parentId = chain ? previousId : static_cast<std::int32_t>(random() % (idRange + 2));
      previousId = id;
      bool isObject = false;
      SceneNode* parent = find(model, parentId, isObject);
      if (parent == nullptr) parent = &model;
      const std::string name = "c" + std::to_string(i);
      const bool isGroup = random() % 2 != 0;
      file.chunk(isGroup ? "Grou" : "PolH", id, parentId, isGroup ? group(name) : marker(name));
      if (isObject) continue;  // a parent that is an object skips both kinds
      const auto add = [&](auto& list, auto made) { made->name = name, made->chunkId = id, list.push_back(std::move(made)); };
      isGroup ? add(parent->children, std::make_unique<SceneNode>()) : add(parent->objects, std::make_unique<PolygonObject>());
    }
    ASSERT_EQ(dump(*load(file).root), dump(model)) << "seed " << seed;
  }
}

// Avatar body of four vertices; skeleton chunks go to the first object of the last polygon node.
Loaded avatar(std::initializer_list<std::pair<std::string, Data>> chunks) {
  CobFile file;
  file.chunk("PolH", 1, 0, polh("qz_body", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {}, {}));
  std::int32_t id = 2;
  for (const auto& [type, data] : chunks) file.chunk(type, id++, 1, data);
  return load(file.chunk("PolH", 999, 0, marker("after")).end());
}

constexpr std::uint16_t kPelvis = 1, kLeftHip = 19, kLeftKnee = 20;  // from the joint chart
// The joints of every vertex of the first object (none given: all 0).
std::vector<std::uint16_t> joints(const Loaded& loaded) {
  const PolygonObject& o = *loaded.root->objects[0];
  std::vector<std::uint16_t> all(o.vertexJoints.begin(), o.vertexJoints.end());
  all.resize(o.vertices.size() / 3, 0);
  return all;
}

TEST(SkeletonChunks, SkinAssignsTheJointOfItsNameOrTheFirstTendonLink) {
  const struct { std::string name; std::uint16_t joint; } cases[] = {
      {"qz_lfhip>extra", kLeftHip}, {"qz_body_lfhip", kLeftHip}, {"lfhip", 0}, {"qz_lfhip>tendon", 0}};
  for (const auto& c : cases) {
    const Loaded loaded = avatar({{"Skin", skin(c.name, {1, 3})}});
    EXPECT_TRUE(went_on(loaded)) << c.name;
    EXPECT_EQ(joints(loaded), (std::vector<std::uint16_t>{0, c.joint, 0, c.joint})) << c.name;
  }
  const Loaded tendon = avatar({{"Join", join({.name = "qz_back", .linked1 = "qz_lfknee", .linked2 = "qz_lfknee"})},
                                {"Join", join({.name = "qz_lfhip", .linked1 = "qz_pelvis", .linked2 = "qz_lfknee"})},
                                {"Join", join({.name = "qz_hipl", .linked1 = "qz_lfknee", .linked2 = "qz_pelvis"})},
                                {"Skin", skin("qz_LFHIP>TENDON", {0, 2})}});
  const std::uint16_t both = kPelvis | kLeftKnee << 8;
  EXPECT_EQ(joints(tendon), (std::vector<std::uint16_t>{both, 0, both, 0}));
  const Loaded bad = avatar({{"Skin", skin("qz_lfhip", {2, 4, 3})}});  // 4 is past the vertices
  EXPECT_FALSE(went_on(bad));
  EXPECT_EQ(joints(bad), (std::vector<std::uint16_t>{0, 0, kLeftHip, 0}));
}

TEST(SkeletonChunks, FirstBoneOfAJointWinsAndJoinsLinkTheBonesReadBeforeThem) {
  const Loaded loaded = avatar({{"Bone", bone("qz_lfknee", {0, -1, 0})}, {"Bone", bone("QZ_PELVIS")}, {"Bone", bone("qz_PELVIS")},
                                {"Bone", bone("qz_kneel", {5, 5, 5})},
                                {"Join", join({.name = "qz_lfhip", .centre = {4, 5, 6}, .linked1 = "qz_pelvis", .linked2 = "qz_lfknee"})},
                                {"Join", join({.name = "qz_back", .linked1 = "qz_pelvis", .linked2 = "qz_back"})},
                                {"Bone", bone("qz_back")}});
  ASSERT_TRUE(went_on(loaded));
  const PolygonObject& body = *loaded.root->objects[0];
  ASSERT_EQ(body.bones.size(), 3u);
  const BoneRecord& knee = body.bones[0];
  EXPECT_EQ(std::tuple(knee.joint, knee.parentJoint, knee.pivot[2], knee.origin[1]), std::tuple(kLeftKnee, kPelvis, 6.0f, -1.0f));
  EXPECT_EQ(std::tuple(body.bones[1].joint, body.bones[1].parentJoint), std::tuple(kPelvis, std::uint8_t{0}));
  EXPECT_EQ(body.bones[2].parentJoint, 0);  // read after its Join
  EXPECT_EQ(body.jointLinks.size(), 2u);
}

// One object of four vertices and five faces, the given chunk under it, then a marker.
Loaded load_with(std::string_view type, const Data& data) {
  const Data object = polh("o", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}}, {},
                           {face({0, 1, 2}, 5), face({}, 6), hole({1, 2, 3}), hole({}), face({0, 1, 2, 3}, 2)});
  return load(CobFile{}.chunk("PolH", 1, 0, object).chunk(type, 2, 1, data).chunk("PolH", 3, 0, marker("after")).end());
}

TEST(PolygonChunk, HolesHaveNoMaterialFieldAndMinimalFacesMayFillTheChunk) {
  const Loaded loaded = load_with("Unit", Data{});
  const PolygonObject& o = *loaded.root->objects[0];
  std::string faces;  // flags, material, corners of each face as decimal digits
  for (const PolyFace& f : o.faces) faces += std::to_string(f.flags * 100 + f.materialIndex * 10 + corners_of(o, f).size()) + " ";
  EXPECT_EQ(faces, "53 60 803 800 24 ");
  EXPECT_EQ(corners_of(o, o.faces[2])[2].vertexIndex, 3);
  // Empty holes are 3 bytes each: four of them end exactly at the chunk's end, the file's last byte.
  const Loaded minimal = load(CobFile{}.chunk("PolH", 1, 0, polh("m", {{0, 0, 0}}, {}, {hole({}), hole({}), hole({}), hole({})})));
  EXPECT_EQ(minimal.root->objects[0]->faceCount, 4);
}

// The header claims the full size but the data stops after each byte: the lists read before the cut stay.
TEST(PolygonChunk, CutAtEveryByteKeepsWhatWasRead) {
  const Data full = polh("Cut", {{1, 2, 3}, {4, 5, 6}}, {{0.5f, 0.5f}}, {face({0, 1, 0}, 2), hole({1, 0, 1})});
  const std::size_t verticesEnd = 7 + 96 + 28, uvsEnd = verticesEnd + 12;
  for (std::size_t cut = 0; cut < full.size(); ++cut) {
    const Data data{{full.bytes.begin(), full.bytes.begin() + static_cast<std::ptrdiff_t>(cut)}};
    const Loaded loaded = load(CobFile{}.chunk_sized("PolH", 1, 0, data, static_cast<std::int32_t>(full.size())));
    const PolygonObject& o = *loaded.root->objects.at(0);
    EXPECT_EQ(o.name, cut >= 7 ? "Cut" : "") << cut;
    EXPECT_EQ(o.vertices.size(), cut >= verticesEnd ? 6u : 0u) << cut;
    EXPECT_EQ(o.uvs.size(), cut >= uvsEnd ? 2u : 0u) << cut;
    EXPECT_EQ(std::tuple(o.faces.size(), o.faceCount), std::tuple(std::size_t{0}, cut < uvsEnd ? 0 : -1)) << cut;
  }
}

// Up to 5 bytes after the last record are padding, never read, even if they make a whole map record. More
// are read as a record: a bad one ends the loop, which succeeds only if 5 bytes or fewer are then left.
// An unknown kind ends the loop after the record's head, before its name (which here would reach past the
// chunk into the next one).
TEST(MaterialChunk, TrailingBytesAreReadOnlyBeyondARecordHead) {
  const std::string zeros(11, '\0');
  const struct { Data data; bool wentOn; std::uint8_t envFlags; } cases[] = {
      {mat1({}).u8('e').u8(0).u8(0x09).i16(0), true, 0}, {mat1({}).u8('e').u8(0).u8(0x09).i16(0).u8(0), true, 0x09},
      {mat1({}).raw(zeros.substr(0, 10)), true, 0}, {mat1({}).raw(zeros), false, 0},
      {mat1({}).u8('t').u8(0).u8(0x09).i16(-1).u8(0), true, 0},
      {mat1({}).u8('t').u8(0).u8(0).i16(-1).raw(std::string(20, 'z')), false, 0},
      {mat1({}).u8('x').u8(0).u8(0x09).i16(40).raw(std::string(6, 'z')), false, 0},
  };
  for (const auto& c : cases) {
    const Loaded loaded = load_with("Mat1", c.data);
    const Material& m = loaded.root->objects[0]->materials.at(0);
    EXPECT_EQ(std::tuple(went_on(loaded), m.envFlags, m.envMap.has_value()), std::tuple(c.wentOn, c.envFlags, c.envFlags != 0))
        << c.data.size();
  }
}

// Counts read from the file never size an allocation by themselves: a small file claiming billions of records
// loads and allocates little.
TEST(BoundedAllocation, HugeCountsInASmallFileFailWithoutLargeAllocations) {
  constexpr std::int32_t kHuge = 0x7fffffff;
  const auto head = [](std::string_view name) { return std::move(Data{}.name(name).axes().matrix()); };
  const std::vector<std::pair<std::string, Data>> cases = {
      {"PolH", head("v").i32(kHuge).floats({1, 2, 3})}, {"PolH", head("v").i32(-kHuge - 1).floats({1, 2, 3})},
      {"PolH", head("t").i32(1).floats({1, 2, 3}).i32(kHuge).floats({1, 2})},
      {"PolH", head("f").i32(1).floats({1, 2, 3}).i32(0).i32(kHuge).u8(0).i16(0).u16(0)},
      {"PolH", head("c").i32(1).floats({1, 2, 3}).i32(0).i32(1).u8(0).i16(32767).u16(0).i32(0).i32(0)},
      {"VCol", Data{}.i32(1).i32(0).i32(kHuge).i32(5)}, {"Skin", skin_counted("qz_pelvis", kHuge, {0})},
      {"Mat1", mat1({}).u8('t').u8(0).u8(0).i16(32767).raw("x")},
  };
  joint_lookup("pelvis");  // the joint index is built once per run, not per file
  for (const auto& [type, data] : cases) {
    CobFile file;
    if (type != "PolH") file.chunk("PolH", 1, 0, polh("qz_o", {{0, 0, 0}}, {}, {face({0, 0, 0})}));
    file.chunk(type, 2, 1, data);
    allocation_hook::arm();
    const Loaded loaded = load(file);
    allocation_hook::armed = false;
    EXPECT_TRUE(loaded.root) << type << ' ' << data.size();
    EXPECT_LT(allocation_hook::largest, 64u * 1024) << type << ' ' << data.size();
    EXPECT_LT(allocation_hook::total, 128u * 1024) << type << ' ' << data.size();
  }
}

}  // namespace
}  // namespace facetor::test
