#include "fuzz/seed_models.h"

#include "support/cob_builder.h"
#include "support/hostile_models.h"

namespace facetor::fuzz {
namespace {

using test::CobFile;
using test::Data;
using test::face;
using test::hole;
using test::mat1;
using test::MaterialSpec;
using test::polh;
using test::texture_map;

const std::vector<test::Vec3> kQuad = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
const std::vector<test::Vec2> kQuadUv = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};

Data group(std::string_view name, test::Vec3 translation = {0, 0, 0}) {
  Data data;
  data.name(name).axes().matrix(std::array<float, 3>{translation[0], translation[1], translation[2]});
  return data;
}

MaterialSpec textured(std::uint16_t number, std::string texture) {
  MaterialSpec material;
  material.number = number;
  material.maps.push_back(texture_map(std::move(texture)));
  material.maps.push_back(test::MapRecord{'b', 0, "bumps\\rough.bmp", {0, 0, 1, 1, 0.5f}});
  return material;
}

// A Chan chunk: leading text, channel type and keyframes (36 bytes for
// "rotate", 32 for "move"), the frame number first.
Data channel(std::string_view type, const std::vector<std::vector<float>>& keys) {
  Data data;
  data.str("").str(type).u16(0).i16(static_cast<std::int16_t>(keys.size()));
  for (const auto& key : keys) {
    data.f32(key[0]).floats({0, 0, 0, 0});
    for (std::size_t i = 1; i < key.size(); ++i) data.f32(key[i]);
  }
  return data;
}

Data skin(std::string_view name, std::vector<std::int32_t> vertices) {
  Data data;
  data.str(name).i32(static_cast<std::int32_t>(vertices.size()));
  for (std::int32_t vertex : vertices) data.i32(vertex);
  return data;
}

Data joint(std::string_view name, std::string_view first, std::string_view second, std::uint16_t mask) {
  Data data;
  data.name(name).axes({0, 1, 0}).matrix();
  for (int i = 0; i < 21; ++i) data.f32(static_cast<float>(i) / 7);
  data.u16(mask);
  for (std::uint16_t bit : {0x01, 0x02, 0x04, 0x10, 0x20, 0x40}) {
    if (mask & bit) data.u16(bit).floats({0.5f, -45, 45});
  }
  return data.str(first).str(second);
}

Data bone(std::string_view name, test::Vec3 origin) {
  Data data;
  data.name(name).axes(origin).matrix();
  return data;
}

SeedModel textured_box() {
  CobFile file;
  file.chunk("PolH", 1, 0,
             polh("box", kQuad, kQuadUv, {face({0, 1, 2}, 0), face({0, 2, 3}, 1)}, {0.5f, 0.5f, 0},
                  {2, 0, 0}))
      .chunk("Mat1", 2, 1, mat1(textured(0, "C:\\maps\\wood.jpg")))
      .chunk("Mat1", 3, 1, mat1(textured(1, "maps/Stone.tga")))
      .end(4);
  return {"textured_box.cob", file.bytes};
}

SeedModel group_hierarchy() {
  CobFile file;
  MaterialSpec plain;
  plain.shader = 'c';
  plain.alpha = 0.5f;
  file.chunk("Grou", 1, 0, group("qz_group_collisionoff", {1, 2, 3}))
      .chunk("PolH", 2, 1, polh("qz_wall_wireframe", kQuad, {}, {face({0, 1, 2, 3})}))
      .chunk("Mat1", 3, 2, mat1(plain))
      .chunk("Grou", 4, 1, group("Inner", {0, 0, 1}))
      .chunk("PolH", 5, 4, polh("qz_sign_solid_tammirror", kQuad, kQuadUv, {face({0, 1, 2, 3})}, {}, {}, 2))
      .chunk("Mat1", 6, 5, mat1(textured(0, "sign.png")))
      .chunk("Hidn", 7, 5, Data{}.u16(0))
      .chunk("PolH", 8, 4, polh("hidden_part", kQuad, {}, {face({0, 1, 2})}))
      .chunk("Hidn", 9, 8, Data{}.u16(1))
      .chunk("Scen", 10, 0, Data{}.name("scene"))
      .chunk("MBal", 11, 0, group("blob"))
      .end(12);
  return {"group_hierarchy.cob", file.bytes};
}

SeedModel directives() {
  CobFile file;
  const std::vector<test::Vec3> doubled = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  MaterialSpec clamp = textured(0, "face.bmp");
  clamp.maps[0].flags = 3;
  clamp.facet = 'a';
  file.chunk("PolH", 1, 0,
             polh("qz_avatar_optverts_facer_mipmapoff_tamclamp_opacityfixon_v3", doubled, {},
                  {face({0, 1, 2}), face({3, 4, 5})}))
      .chunk("Mat1", 2, 1, mat1(clamp))
      .chunk("PolH", 3, 0,
             polh("qz_picture_collisionon_mipmapon_tamwrap_opacityfixoff_l", kQuad, kQuadUv,
                  {face({0, 1, 2, 3})}))
      .chunk("PolH", 4, 0, polh("part_r", kQuad, {}, {face({0, 1, 2})}))
      .chunk("VCol", 5, 4, Data{}.i32(1).i32(0).i32(3).u32(0x0000FF).u32(0x00FF00).u32(0xFF0000))
      .end(6);
  return {"directives.cob", file.bytes};
}

SeedModel face_with_holes() {
  CobFile file;
  const std::vector<test::Vec3> vertices = {{0, 0, 0}, {4, 0, 0}, {4, 4, 0}, {0, 4, 0},
                                            {1, 1, 0}, {2, 1, 0}, {2, 2, 0}, {1, 2, 0},
                                            {3, 3, 0}, {3.5f, 3, 0}, {3.5f, 3.5f, 0}};
  file.chunk("PolH", 1, 0,
             polh("plate", vertices, {}, {face({0, 1, 2, 3}), hole({4, 5, 6, 7}), hole({8, 9, 10}),
                                          face({0, 1, 2})}))
      .chunk("Mat1", 2, 1, mat1(MaterialSpec{}))
      .end(3);
  return {"face_with_holes.cob", file.bytes};
}

SeedModel avatar() {
  CobFile file;
  const std::vector<test::Vec3> body = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}};
  file.chunk("Grou", 1, 0, group("qz_pelvis"))
      .chunk("PolH", 2, 1, polh("qz_avatar_body", body, {}, {face({0, 1, 2, 3}), face({3, 4, 5})}))
      .chunk("Mat1", 3, 2, mat1(textured(0, "skin.jpg")))
      .chunk("Bone", 4, 0, bone("qz_pelvis", {0, 1, 0}))
      .chunk("Bone", 5, 0, bone("qz_rthip", {0.2f, 0.9f, 0}))
      .chunk("Join", 6, 0, joint("qz_rthip", "qz_pelvis", "qz_rthip", 0x0077))
      .chunk("Skin", 7, 2, skin("QZ_PELVIS", {0, 1, 2}))
      .chunk("Skin", 8, 2, skin("qz_rthip>tendon", {3, 4}))
      .chunk("PolH", 9, 1, polh("qz_rthip", kQuad, {}, {face({0, 1, 2})}))
      .chunk("Chan", 10, 1, channel("rotate", {{0, 1, 0, 0, 0}, {40.7f, 0, 1, 0, 0}}))
      .chunk("Chan", 11, 1, channel("Move", {{5, 1, 2, 3}}))
      .chunk("Chan", 12, 9, channel("ROTATE", {{3, 1, 0, 0, 0}, {-0.5f, 0, 0, 1, 0}}))
      .chunk("Chan", 13, 9, channel("scale", {{1, 1, 1, 1}}))
      .end(14);
  return {"avatar.cob", file.bytes};
}

SeedModel deformers() {
  CobFile file;
  Data nail;
  nail.name("nail", 1).axes().matrix().u16(3).str("target");
  Data knuckle;
  knuckle.name("knuckle").axes().matrix().str("m1").str("m2").str("contractor");
  for (int i = 0; i < 27; ++i) knuckle.f32(static_cast<float>(i));
  knuckle.u16(0x0007);
  for (int i = 0; i < 18; ++i) knuckle.f32(static_cast<float>(i) / 3);
  Data lattice;
  lattice.name("lattice").axes().matrix().u16(16).i16(2).i16(3).i16(4);
  for (int i = 0; i < 12; ++i) lattice.f32(static_cast<float>(i));
  lattice.i16(2).str("obj1").str("obj2");
  file.chunk("DDiv", 1, 0, Data{}.u16(0x1234))
      .chunk("Nail", 2, 0, nail)
      .chunk("Knuc", 3, 0, knuckle)
      .chunk("DefP", 4, 0, lattice)
      .chunk("DefP", 5, 0, Data{}.name("x").axes().matrix().u16(32).i16(0).i16(0).i16(0))
      .chunk("defp", 6, 0, Data{})
      .chunk("Unit", 7, 0, Data{}.u16(2))
      .end(8)
      .chunk("PolH", 9, 0, polh("after_end", kQuad, {}, {face({0, 1, 2})}));
  return {"deformers.cob", file.bytes};
}

SeedModel edge_sizes() {
  CobFile file;
  file.chunk("PolH", 1, 0, polh("tri", kQuad, {}, {face({0, 1, 2})}))
      .chunk_sized("Mat1", 2, 1, mat1(textured(0, "cut.jpg")), 44)
      .chunk_sized("Mat1", 3, 1, mat1(MaterialSpec{}), 43)
      .chunk_sized("Chan", 4, 1, Data{}.i16(-1).i16(-5), -20)
      .chunk_sized("Grou", 5, 0, Data{}, 0x7FFFFFF0);
  return {"edge_sizes.cob", file.bytes};
}

std::vector<std::uint8_t> text_bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

}  // namespace

std::vector<SeedModel> seed_models() {
  std::vector<SeedModel> seeds = {textured_box(), group_hierarchy(), directives(),
                                  face_with_holes(), avatar(), deformers(), edge_sizes()};
  CobFile headerOnly;
  seeds.push_back({"header_only.cob", headerOnly.bytes});
  seeds.push_back({"ascii_header.cob", CobFile('A').end().bytes});
  seeds.push_back({"lower_case_magic.cob", text_bytes("caligari V00.01BLH             \n")});
  seeds.push_back({"short_header.cob", text_bytes("Caligari V00.01B")});
  seeds.push_back({"empty.cob", {}});
  // The shapes of the known attacks on time and memory, a few faces or
  // chunks each.
  for (test::HostileModel& model : test::hostile_models(0.002)) {
    seeds.push_back({"hostile_" + model.name, std::move(model.bytes)});
  }
  return seeds;
}

}  // namespace facetor::fuzz
