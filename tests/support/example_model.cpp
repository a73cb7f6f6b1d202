#include "support/example_model.h"

#include <cstring>
#include <string>

#include "support/cob_builder.h"
#include "support/scene_chunks.h"

namespace facetor::test {
namespace {

// A face whose corners name (vertex, texture coordinate) pairs.
Face corners(std::vector<std::pair<std::int32_t, std::int32_t>> pairs, std::uint16_t material = 0,
             std::uint8_t flags = 0) {
  return {flags, material, std::move(pairs)};
}

MaterialSpec colour(std::uint16_t number, float red, float green, float blue) {
  return {.number = number, .red = red, .green = green, .blue = blue, .maps = {}};
}

// Walls: a box 4 wide, 3 deep and 2.5 high on the ground, open at the top.
// The front wall has a square window, a hole with its own texture coordinates.
Data walls() {
  const std::vector<Vec3> vertices = {
      {-2, -1.5f, 0},   {2, -1.5f, 0},   {2, 1.5f, 0},   {-2, 1.5f, 0},    // ground
      {-2, -1.5f, 2.5f}, {2, -1.5f, 2.5f}, {2, 1.5f, 2.5f}, {-2, 1.5f, 2.5f},  // eaves
      {-1, -1.5f, 1},   {0, -1.5f, 1},   {0, -1.5f, 2},  {-1, -1.5f, 2},   // window
  };
  const std::vector<Vec2> uvs = {{0, 0}, {1, 0}, {1, 1}, {0, 1},
                                 {0.25f, 0.4f}, {0.5f, 0.4f}, {0.5f, 0.8f}, {0.25f, 0.8f}};
  const std::vector<Face> faces = {
      corners({{0, 0}, {1, 1}, {5, 2}, {4, 3}}),
      corners({{8, 4}, {11, 7}, {10, 6}, {9, 5}}, 0, 0x08),  // the window
      corners({{1, 0}, {2, 1}, {6, 2}, {5, 3}}),
      corners({{2, 0}, {3, 1}, {7, 2}, {6, 3}}),
      corners({{3, 0}, {0, 1}, {4, 2}, {7, 3}}),
      corners({{0, 0}, {3, 1}, {2, 2}, {1, 3}}, 1),  // floor
  };
  return polh("walls", vertices, uvs, faces);
}

// Roof: a pyramid over the walls with a small overhang.
Data roof() {
  const std::vector<Vec3> vertices = {
      {-2.25f, -1.75f, 2.5f}, {2.25f, -1.75f, 2.5f}, {2.25f, 1.75f, 2.5f}, {-2.25f, 1.75f, 2.5f}, {0, 0, 4}};
  const std::vector<Vec2> uvs = {{0, 0}, {1, 0}, {0.5f, 1}};
  std::vector<Face> faces;
  for (std::int32_t i = 0; i < 4; ++i) faces.push_back(corners({{i, 0}, {(i + 1) % 4, 1}, {4, 2}}));
  return polh("roof", vertices, uvs, faces);
}

// Chimney: an open box through the roof, placed by its position.
Data chimney() {
  const std::vector<Vec3> vertices = {
      {-0.25f, -0.25f, 0}, {0.25f, -0.25f, 0}, {0.25f, 0.25f, 0}, {-0.25f, 0.25f, 0},
      {-0.25f, -0.25f, 1}, {0.25f, -0.25f, 1}, {0.25f, 0.25f, 1}, {-0.25f, 0.25f, 1},
  };
  const std::vector<Face> faces = {
      face({0, 1, 5, 4}), face({1, 2, 6, 5}), face({2, 3, 7, 6}), face({3, 0, 4, 7}), face({0, 3, 2, 1}),
  };
  return polh("chimney", vertices, {}, faces, {1, 0.5f, 3}, {1, 0.5f, 3});
}

// A closed box between two corners, its faces outward.
Data box(const std::string& name, Vec3 low, Vec3 high) {
  const std::vector<Vec3> vertices = {
      {low[0], low[1], low[2]},  {high[0], low[1], low[2]},  {high[0], high[1], low[2]},  {low[0], high[1], low[2]},
      {low[0], low[1], high[2]}, {high[0], low[1], high[2]}, {high[0], high[1], high[2]}, {low[0], high[1], high[2]},
  };
  const std::vector<Face> faces = {
      face({0, 1, 5, 4}), face({1, 2, 6, 5}), face({2, 3, 7, 6}),
      face({3, 0, 4, 7}), face({0, 3, 2, 1}), face({4, 5, 6, 7}),
  };
  return polh(name, vertices, {}, faces);
}

// One stride of 30 frames: a swing of 25 degrees about the x axis forward,
// back and forward again, as quaternions (scalar part first: cos 12.5 and
// sin 12.5 degrees, written out so that every system builds the same bytes).
// The other side of the body swings the opposite way (sign -1).
Data stride(float sign) {
  const float c = 0.9762960f;
  const float s = 0.2164396f * sign;
  return chan("rotate", 5,
              rotate_keys({{0, c, s, 0, 0}, {7.5f, 1, 0, 0, 0}, {15, c, -s, 0, 0}, {22.5f, 1, 0, 0, 0}, {30, c, s, 0, 0}}));
}

}  // namespace

std::vector<std::uint8_t> animated_model() {
  struct Limb {
    const char* name;
    Vec3 low, high;
    MaterialSpec material;
    float swingSign;  // 0: no channel
  };
  MaterialSpec cloth = colour(0, 0.2f, 0.3f, 0.7f);
  MaterialSpec skin = colour(0, 0.9f, 0.75f, 0.6f);
  const Limb limbs[] = {
      {"qz_back", {-0.3f, -0.15f, 1.0f}, {0.3f, 0.15f, 1.6f}, cloth, 0},
      {"qz_head", {-0.12f, -0.12f, 1.65f}, {0.12f, 0.12f, 1.9f}, skin, 0},
      {"qz_lfhip", {0.05f, -0.08f, 0.0f}, {0.25f, 0.08f, 0.95f}, cloth, 1},
      {"qz_rthip", {-0.25f, -0.08f, 0.0f}, {-0.05f, 0.08f, 0.95f}, cloth, -1},
      {"qz_lfshoulder", {0.32f, -0.06f, 0.9f}, {0.45f, 0.06f, 1.55f}, skin, -1},
      {"qz_rtshoulder", {-0.45f, -0.06f, 0.9f}, {-0.32f, 0.06f, 1.55f}, skin, 1},
  };
  CobFile file;
  std::int32_t id = 1;
  file.chunk("Grou", id, 0, group("qz_pelvis", {0, 0, 1}, {0, 0, 1}));
  // The root's rotation (a slight sway) and translation (a bob each step).
  file.chunk("Chan", ++id, 1, chan("rotate", 3, rotate_keys({{0, 1, 0, 0, 0}, {15, 0.9990482f, 0, 0, 0.0436194f},
                                                            {30, 1, 0, 0, 0}})));
  file.chunk("Chan", ++id, 1,
             chan("move", 5, move_keys({{0, 0, 0, 0}, {7.5f, 0, 0, 0.05f}, {15, 0, 0, 0}, {22.5f, 0, 0, 0.05f},
                                        {30, 0, 0, 0}})));
  for (const Limb& limb : limbs) {
    const std::int32_t object = ++id;
    file.chunk("PolH", object, 1, box(limb.name, limb.low, limb.high));
    file.chunk("Mat1", ++id, object, mat1(limb.material));
    if (limb.swingSign != 0) file.chunk("Chan", ++id, object, stride(limb.swingSign));
  }
  file.end(++id);
  return file.bytes;
}

std::vector<std::uint8_t> control_bytes_model() {
  float awkward;  // bytes 1A 0D 0A 3F: about 0.54
  const std::uint32_t bits = 0x3F0A0D1A;
  std::memcpy(&awkward, &bits, sizeof awkward);
  const std::vector<Vec3> vertices = {{0, 0, 0}, {awkward, 0, 0}, {awkward, awkward, 0}, {0, awkward, 0x1A}};
  const std::string name("qz_lfhip_\x1a\r\n\0end", 17);
  MaterialSpec material = colour(0, awkward, 0.1f, 0.2f);
  material.maps.push_back(texture_map(std::string("tex\x1a\r\n.jpg")));
  CobFile file;
  file.chunk("PolH", 0x1A, 0, polh(name, vertices, {}, {face({0, 1, 2, 3}), face({3, 2, 1})}))
      .chunk("Mat1", 0x0D0A, 0x1A, mat1(material))
      .chunk("Chan", 0x0A0D, 0x1A, chan("rotate", 2, rotate_keys({{0, 1, 0, 0, 0}, {26, awkward, 0, awkward, 0}}),
                                        std::string_view("\r\n\x1a\0", 4)))
      .end(0x1A1A);
  file.raw({0x1A, '\r', '\n', 0, 0x1A});
  return file.bytes;
}

std::vector<std::uint8_t> example_model() {
  MaterialSpec brick = colour(0, 0.8f, 0.45f, 0.35f);
  brick.maps.push_back(texture_map("brick.jpg"));
  CobFile file;
  file.chunk("Grou", 1, 0, Data{}.name("cottage").axes().matrix())
      .chunk("PolH", 2, 1, walls())
      .chunk("Mat1", 3, 2, mat1(brick))
      .chunk("Mat1", 4, 2, mat1(colour(1, 0.5f, 0.5f, 0.5f)))
      .chunk("PolH", 5, 1, roof())
      .chunk("Mat1", 6, 5, mat1(colour(0, 0.7f, 0.15f, 0.1f)))
      .chunk("PolH", 7, 1, chimney())
      .chunk("Mat1", 8, 7, mat1(colour(0, 0.3f, 0.3f, 0.3f)))
      .end(9);
  return file.bytes;
}

}  // namespace facetor::test
