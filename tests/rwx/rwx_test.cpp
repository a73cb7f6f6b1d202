// The RWX writer: clump tree, prototypes, vertex merging, numbers.
#include <gtest/gtest.h>
#include <array>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <thread>
#include "rwx/clump_writer.h"
#include "rwx/number_format.h"
#include "rwx/proto_writer.h"
#include "rwx/side_by_side.h"
#include "io/hash_key_choice.h"
#include "io/hash_table.h"
#include "rwx/vertex_merge.h"
#include "support/cob_builder.h"

namespace facetor {
namespace {
// Reference outputs, checked by hand, beside this file.
const std::string kExpected = std::string(__FILE__).substr(0, std::string(__FILE__).find_last_of("/\\") + 1) + "expected/";
// Adds a child node holding one prototype with this pivot translation.
ModelNode* add(ModelNode& parent, const std::string& name, float x = 0, float y = 0, float z = 0) {
  ModelNode* node = node_add_child(parent, std::make_unique<ModelNode>());
  node->protos.push_back(ProtoInstance{name, 0, {x, y, z}});
  return node;
}
std::string hierarchy(const ModelNode& root) {
  OutStream out = out_memory(StreamMode::Text);
  return write_clump_tree(out, &root, 2, true, true), out_contents(out);
}

// A pivot beyond 1e-6 opens a transform and clump round the node; collision lines stand only where the
// setting changes (the root has the parent's 1); deep chains do not recurse and indent by 100 blanks at most.
TEST(ClumpWriter, PivotsCollisionAndDepthByteForByte) {
  ModelNode root, top, deep;
  root.protos.push_back(ProtoInstance{"box", 0, {0, 0, 0.000001f}});
  add(*add(root, "lid", 0, 1, 0), "knob", 0, 0, -0.000002f);
  EXPECT_EQ(hierarchy(root), test::read_file(kExpected + "pivots.rwx"));
  ModelNode* off = node_add_child(top, std::make_unique<ModelNode>());
  ModelNode* wall = add(*off, "wall", 0, NAN, 0);
  off->collision = wall->collision = false;
  add(*wall, "door", 0, 0, -0.000001f);
  EXPECT_EQ(hierarchy(top), "  #! Collision off\r\n  ProtoInstance wall\r\n"
                            "  ClumpBegin\r\n   #! Collision on\r\n   ProtoInstance door\r\n  ClumpEnd\r\n");
  constexpr int kDepth = 3000;
  ModelNode* node = &deep;
  for (int i = 0; i < kDepth; ++i) node = add(*node, "p");
  // Node k opens its clump at k blanks (the first stands in the outer clump), never more than 100.
  const auto at = [](int width) { return std::string(std::min(width, 100), ' '); };
  std::string expected = at(2) + "ProtoInstance p\r\n";
  for (int k = 2; k <= kDepth; ++k) expected += at(k) + "ClumpBegin\r\n" + at(k + 1) + "ProtoInstance p\r\n";
  for (int k = kDepth; k >= 2; --k) expected += at(k) + "ClumpEnd\r\n";
  EXPECT_EQ(hierarchy(deep), expected);
}

// Writes the prototype with the identity as base transform; "\r\n" as "\n".
std::string written(bool& skinned, const Prototype& proto) {
  OutStream out = out_memory(StreamMode::Text);
  RwxWriterState writer{out, skinned};
  write_prototype(writer, proto, Transform{}, false);
  skinned = writer.skinnedFlag;
  std::string text = out_contents(out);
  return std::erase(text, '\r'), text;
}
Prototype named(const char* name, std::vector<MeshVertex> vertices) { Prototype p; p.name = name, p.vertices.assign(vertices.begin(), vertices.end()); return p; }

// Every material line appears only where its value changes (faces are written newest first); equal
// vertices merge after the origin moves to 0.0001, -0 equal to 0; sign and picture names tag faces and
// give UVs; vertex numbers go beyond 16 bits.
TEST(ProtoWriterTest, MaterialLinesVertexMergeAndTagsByteForByte) {
  std::vector<SurfaceRef> surfaces = {surface_new()};
  auto next = [&](void (*change)(SurfaceState&)) {
    surfaces.push_back(std::make_shared<SurfaceState>(*surfaces.back()));
    change(*surfaces.back());
  };
  next([](SurfaceState& s) { s.ambient = 0.5f, s.diffuse = 1, s.addressMode = 1, s.texture = "wood", s.red = 255; });
  next([](SurfaceState& s) { s.lightSampling = 1; }), next([](SurfaceState& s) { s.texture = "WOOD", s.mask = "woodm"; });
  next([](SurfaceState& s) { s.green = 255; }), next([](SurfaceState& s) { s.opacity = 128; });
  next([](SurfaceState& s) { s.addressMode = 3; }), next([](SurfaceState& s) { s.mipmap = 0; });
  next([](SurfaceState& s) { s.texture.reset(); }), next([](SurfaceState& s) { s.mask = "WOODM"; });  // texture absent
  next([](SurfaceState& s) { s.ambient = 0.25f; });  // the surface line stands once
  Prototype p = named("door qz_sign 2", {{}, {.y = -0.0f}, {.x = 2, .y = 2, .z = 2}, {.x = 0.0001f}, {.y = 1}});
  for (std::size_t i = surfaces.size() - 1; i > 0; --i) proto_add_face(p, std::vector<std::uint32_t>{3, 2, 4}, proto_add_surface(p, surfaces[i]));
  proto_add_face(p, std::vector<std::uint32_t>{0, 1, 2, 3, 4, 4}, proto_add_surface(p, surfaces[1]));
  bool skinned = false;
  EXPECT_EQ(written(skinned, p), test::read_file(kExpected + "prototype.txt"));
  EXPECT_FALSE(skinned);
  for (const auto& [name, end] : {std::pair{"qz_ sign", "\n ProtoEnd # qz__sign\n"}, {"QZ_SIGN", "\n ProtoEnd # QZ_SIGN\n"},
                                   {"frame qz_picture", " Tag 200\n ProtoEnd # frame_qz_picture\n"},
                                   {"qz_picture qz_sign", " Tag 100\n ProtoEnd # qz_picture_qz_sign\n"}}) {
    Prototype q = named(name, {{.x = 1}, {.y = 1}, {.z = 1}});
    proto_add_face(q, std::vector<std::uint32_t>{0, 1, 2}, proto_add_surface(q, surfaces[1]));
    const std::string text = written(skinned, q);
    EXPECT_TRUE(text.ends_with(std::string("  Triangle 1 2 3") + end)) << text;
    EXPECT_EQ(text.find(" UV ") != text.npos, end[1] == 'T') << text;  // tagged faces' vertices carry UVs
  }
  // A prototype large enough to be written in pieces: the vertex numbers and the material state run on
  // from piece to piece (faces alternate between two colours: one Color line each, one Surface line).
  // Their textures' long names make a piece's text outgrow the room it starts with.
  Prototype big = named("big", {});
  for (std::size_t i = 0; i < 70000; ++i) big.vertices.push_back(MeshVertex{.x = float(i % 60000)});
  next([](SurfaceState& s) { s.texture = std::string(300, 'a'); }), next([](SurfaceState& s) { s.green = 0; });
  next([](SurfaceState& s) { s.texture = std::string(300, 'b'); });
  const std::uint32_t colours[] = {proto_add_surface(big, surfaces[surfaces.size() - 3]),
                                   proto_add_surface(big, surfaces.back())};
  for (std::uint32_t f = 0; f < 40000; ++f) proto_add_face(big, std::vector<std::uint32_t>{69999, f, 65536}, colours[f % 2]);
  const std::string text = written(skinned, big);
  EXPECT_NE(text.find("  Vertex 59999. 0. 0. # 60000\n  Surface "), text.npos);
  EXPECT_NE(text.find("  Triangle 10000 40000 5537\n"), text.npos);
  EXPECT_NE(text.find("  Triangle 10000 1 5537\n ProtoEnd"), text.npos);
  const auto lines = [&text](const std::string& start) {
    std::size_t n = 0;
    for (std::size_t at = text.find(start); at != text.npos; at = text.find(start, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(lines("\n  Color "), 40000u);
  EXPECT_EQ(lines("\n  Texture " + std::string(300, 'b') + " Mask WOODM\n"), 20000u);
  EXPECT_EQ(lines("\n  Surface "), 1u);
}

// Pieces are put in order, whichever thread makes them. A piece that fails on either thread (the other one made
// slow, so that the failing one makes pieces from 7 on) stops the rest, and its failure reaches the caller.
TEST(PiecesInOrder, PutInOrderAndAFailureOnEitherThreadReachesTheCaller) {
  const std::thread::id caller = std::this_thread::get_id();
  for (const int failing : {0, 1, 2}) {  // none, the calling thread, the second thread
    std::string put;
    auto make = [&](std::size_t piece, PieceText& text) {
      const bool onCaller = std::this_thread::get_id() == caller;
      if (failing != 0 && onCaller != (failing == 1)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (failing != 0 && onCaller == (failing == 1) && piece >= 7) throw std::runtime_error("piece");
      const std::string line = std::to_string(piece) + ",";
      text.insert(text.end(), line.begin(), line.end());
    };
    auto run = [&] { put_pieces_in_order(40, make, [&put](std::string_view text) { put += text; }); };
    std::string all;
    for (int piece = 0; piece < 40; ++piece) all += std::to_string(piece) + ",";
    if (failing == 0) {
      run();
      EXPECT_EQ(put, all);
    } else {
      EXPECT_THROW(run(), std::runtime_error) << failing;
      EXPECT_TRUE(all.starts_with(put)) << put;
    }
  }
}

// Against the first vertex of each written value in an ordered map, over enough vertices for the partitions
// to be hashed and searched in halves: compared fields equal as floats (NaN equal to nothing, -0 to 0) and
// bytes. Few values, so that equal, -0 and 0, NaN, far, infinite and moved (origin to 0.0001) vertices meet
// often; every third vertex unique, as most of a mesh's are; a new hash key per set of compared fields.
TEST(VertexMergeTest, FindsTheFirstEqualVertex) {
  const float pool[] = {0.0f, -0.0f, 1.0f, -1.0f, std::nanf(""), 0.5f, 0.0001f, 3e38f, INFINITY, 8.796093e12f};
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pick(0, 9), byte(0, 1);
  const auto bits = [](float f) { return f == 0.0f ? 0u : std::bit_cast<std::uint32_t>(f); };
  for (int flags = 0; flags < 4; ++flags) {
    const bool uv = (flags & 1) != 0, prelight = (flags & 2) != 0;
    set_process_hash_key(HashKey{static_cast<std::uint64_t>(flags) * 0x9e3779b97f4a7c15ULL, 7});
    std::vector<MeshVertex> vertices(40000);
    for (MeshVertex& v : vertices) {
      v.x = pool[pick(random)], v.y = pool[pick(random) % 3], v.z = pool[pick(random) % 3], v.u = pool[pick(random)];
      v.v = pool[pick(random) % 2], v.red = std::uint8_t(byte(random)), v.blue = std::uint8_t(byte(random));
      v.boneTags[0] = static_cast<std::uint8_t>(pick(random));
    }
    for (std::size_t i = 0; i < vertices.size(); i += 3) vertices[i].y = 2.0f + float(i);
    const auto first = first_equal_vertices(vertices, uv, prelight);
    std::map<std::array<std::uint32_t, 8>, std::int32_t> firstOf;
    for (std::size_t i = 0; i < vertices.size(); ++i) {
      const MeshVertex a = written_vertex(vertices[i]);
      std::int32_t expected = -1;
      if (!std::isnan(a.x) && !std::isnan(a.y) && !std::isnan(a.z) && !(uv && (std::isnan(a.u) || std::isnan(a.v)))) {
        const std::array<std::uint32_t, 8> key = {bits(a.x), bits(a.y), bits(a.z), uv ? bits(a.u) : 0, uv ? bits(a.v) : 0,
                                                  prelight ? a.red : 0u, prelight ? a.green : 0u, prelight ? a.blue : 0u};
        const auto [at, fresh] = firstOf.emplace(key, std::int32_t(i));
        if (!fresh) expected = at->second;
      }
      ASSERT_EQ(first[i], expected) << i << " " << flags;
    }
  }
}

// Random bit patterns at every magnitude, rounding ties (to even), the edges and infinities agree with "%f" of
// the double value, trailing '0's stripped (never the first character), values within 1e-6 as 0; NaNs of
// either sign are "nan".
TEST(NumberFormatTest, AgreesWithPrintf) {
  auto agrees = [](float value) {
    char text[kNumberTextMax], reference[512];
    const std::string ours(text, format_number(text, value));
    std::snprintf(reference, sizeof reference, "%f", value >= -1e-6f && value <= 1e-6f ? 0.0 : double(value));
    if (std::isnan(value)) std::strcpy(reference, "nan");
    std::size_t length = std::strlen(reference);
    while (length > 1 && reference[length - 1] == '0') --length;
    return ours == std::string(reference, length) ? testing::AssertionSuccess() : testing::AssertionFailure() << ours;
  };
  std::mt19937 random(17);
  for (int i = 0; i < 400000; ++i) {
    std::uint32_t bits = random();
    if (i % 2 == 0) bits = (bits & 0x807FFFFFu) | ((100u + random() % 70u) << 23);  // 2^-27 .. 2^43
    const float value = float_from_bits(bits);
    if (!std::isnan(value)) { ASSERT_TRUE(agrees(value)) << "bits " << bits; }
  }
  // Every exponent of the whole numbers from 2^43 up, with the smallest, largest and random mantissas, both signs.
  for (std::uint32_t exponent = 170; exponent < 255; ++exponent) {
    for (std::uint32_t mantissa : {0u, 0x7FFFFFu, std::uint32_t(random()) & 0x7FFFFFu}) {
      for (std::uint32_t sign : {0u, 0x80000000u}) {
        const std::uint32_t bits = sign | exponent << 23 | mantissa;
        ASSERT_TRUE(agrees(float_from_bits(bits))) << "bits " << bits;
      }
    }
  }
  for (float value : {0.0078125f, 0.0234375f, 1.0078125f, 100.0078125f, -0.0546875f, 8796093022208.0f, 8796092497920.0f,
                      -8796093022208.0f, 5e-7f, 5.0000006e-7f, 1.0000001e-6f, 0.0000015f, -0.0000011f, 128.0f / 255.0f,
                      1e12f, -3.4028235e38f, -0.0f, 1.0f, -10.0f, 0.0001f, INFINITY, -INFINITY, NAN, -NAN}) {
    EXPECT_TRUE(agrees(value)) << value;
  }
}

// Counts (vertex numbers, the whole part of a number) agree with std::to_chars at each power of ten, either side
// of it, and at the largest.
TEST(NumberFormatTest, CountsAgreeWithToChars) {
  std::vector<std::uint32_t> counts = {0, UINT32_MAX};
  for (std::uint64_t power = 1; power <= UINT32_MAX; power *= 10) {
    for (std::uint64_t count : {power - 1, power, power + 1}) counts.push_back(static_cast<std::uint32_t>(count));
  }
  for (std::uint32_t count : counts) {
    char ours[16], reference[16];
    const std::string_view text(ours, static_cast<std::size_t>(put_decimal(ours, count) - ours));
    EXPECT_EQ(text, std::string_view(reference, std::to_chars(reference, reference + 16, count).ptr)) << count;
  }
}
}  // namespace
}  // namespace facetor
