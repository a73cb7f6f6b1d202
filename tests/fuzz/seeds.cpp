// The seed models, composed with the COB composer.
#include "fuzz/harness.h"
#include "support/cob_builder.h"
#include "support/hostile_models.h"

namespace facetor::fuzz {
namespace {

using namespace facetor::test;

const std::vector<Vec3> kQuad = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
const std::vector<Vec2> kQuadUv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

Data node(std::string_view name, Vec3 at = {0, 0, 0}) { return std::move(Data{}.name(name).axes(at).matrix(at)); }

MaterialSpec textured(std::uint16_t number, std::string texture, std::uint8_t flags = 0) {
  MaterialSpec material;
  material.number = number;
  material.shader = 'c';
  material.facet = flags ? 'a' : 'f';
  material.alpha = flags ? 1 : 0.5f;
  material.maps = {texture_map(std::move(texture), flags), MapRecord{'b', 0, "bumps\\rough.bmp", {0, 0, 1, 1, 0.5f}}};
  return material;
}

Data joint(std::string_view name, std::string_view first, std::string_view second) {
  Data data = node(name, {0, 1, 0});
  for (int i = 0; i < 21; ++i) data.f32(static_cast<float>(i) / 7);
  data.u16(0x77);
  for (std::uint16_t bit : {0x01, 0x02, 0x04, 0x10, 0x20, 0x40}) data.u16(bit).floats({0.5f, -45, 45});
  return std::move(data.str(first).str(second));
}

std::vector<std::uint8_t> textured_box() {
  return CobFile{}
      .chunk("PolH", 1, 0, polh("box", kQuad, kQuadUv, {face({0, 1, 2}, 0), face({0, 2, 3}, 1)}, {.5f, .5f, 0}, {2, 0, 0}))
      .chunk("Mat1", 2, 1, mat1(textured(0, "C:\\maps\\wood.jpg")))
      .chunk("Mat1", 3, 1, mat1(textured(1, "maps/Stone.tga")))
      .end(4).bytes;
}

std::vector<std::uint8_t> avatar() {
  const std::vector<Vec3> body = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}};
  return CobFile{}
      .chunk("Grou", 1, 0, node("qz_pelvis"))
      .chunk("PolH", 2, 1, polh("qz_avatar_body", body, {}, {face({0, 1, 2, 3}), face({3, 4, 5})}))
      .chunk("Mat1", 3, 2, mat1(textured(0, "skin.jpg")))
      .chunk("Bone", 4, 0, node("qz_pelvis", {0, 1, 0}))
      .chunk("Join", 5, 0, joint("qz_rthip", "qz_pelvis", "qz_rthip"))
      .chunk("Skin", 6, 2, Data{}.str("QZ_PELVIS").i32(2).i32(0).i32(1))
      .chunk("PolH", 7, 1, polh("qz_rthip", kQuad, {}, {face({0, 1, 2})}))
      .chunk("Chan", 8, 1, chan("rotate", 2, rotate_keys({{0, 1, 0, 0, 0}, {40.7f, 0, 1, 0, 0}})))
      .chunk("Chan", 9, 1, chan("Move", 1, move_keys({{5, 1, 2, 3}})))
      .chunk("Chan", 10, 7, chan("ROTATE", 1, rotate_keys({{-0.5f, 0, 0, 1, 0}})))
      .chunk("Chan", 11, 7, chan("scale", 1, move_keys({{1, 1, 1, 1}})))
      .end(12).bytes;
}

// Deformers, unknown chunks, chunks after END and sizes that lie.
std::vector<std::uint8_t> odd_chunks() {
  Data knuckle = node("knuckle");
  knuckle.str("m1").str("m2").str("contractor");
  for (int i = 0; i < 45; ++i) knuckle.f32(static_cast<float>(i) / 3);
  Data lattice = node("lattice");
  lattice.u16(16).i16(2).i16(3).i16(4).floats({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}).i16(2).str("o1").str("o2");
  return CobFile{}
      .chunk("DDiv", 1, 0, Data{}.u16(0x1234))
      .chunk("Nail", 2, 0, node("nail").u16(3).str("target"))
      .chunk("Knuc", 3, 0, knuckle)
      .chunk("DefP", 4, 0, lattice)
      .chunk("defp", 5, 0, Data{})
      .chunk("PolH", 6, 0, polh("tri", kQuad, {}, {face({0, 1, 2})}))
      .chunk_sized("Mat1", 7, 6, mat1(textured(0, "cut.jpg")), 44)
      .chunk_sized("Chan", 8, 6, Data{}.i16(-1).i16(-5), -20)
      .end(9)
      .chunk_sized("Grou", 10, 0, Data{}, 0x7FFFFFF0).bytes;
}

std::vector<std::uint8_t> text(std::string_view bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace

std::vector<SeedModel> seed_models() {
  std::vector<SeedModel> seeds = {{"textured_box.cob", textured_box()}, {"avatar.cob", avatar()}, {"odd_chunks.cob", odd_chunks()},
                                  {"header_only.cob", CobFile{}.bytes}, {"ascii_header.cob", CobFile('A').end().bytes},
                                  {"lower_case_magic.cob", text("caligari V00.01BLH             \n")},
                                  {"short_header.cob", text("Caligari V00.01B")}, {"empty.cob", {}}};
  for (HostileModel& model : hostile_models(0.002)) seeds.push_back({"hostile_" + model.name, std::move(model.bytes)});
  return seeds;
}

std::vector<std::uint8_t> seed(std::string_view name) {
  for (SeedModel& model : seed_models()) {
    if (model.name == name) return model.bytes;
  }
  return {};
}

}  // namespace facetor::fuzz
