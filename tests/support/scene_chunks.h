// Chunk data of the scene-tree chunks beyond PolH and Mat1 (see cob_builder.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/cob_builder.h"

namespace facetor::test {

// Grou or MBal: name, local axes (centre), position (translation). Scen: the name. Bone: name, axes, position.
inline Data group(std::string_view name, Vec3 centre = {}, Vec3 translation = {}, std::uint16_t duplicate = 0) {
  return std::move(Data{}.name(name, duplicate).axes(centre).matrix(translation));
}
inline Data scene(std::string_view name) { return std::move(Data{}.name(name)); }
inline Data bone(std::string_view name, Vec3 centre = {}) { return std::move(Data{}.name(name).axes(centre).matrix()); }

// Skin: the name (no duplicate count), a count field, the vertex indices.
inline Data skin_counted(std::string_view name, std::int32_t count, const std::vector<std::int32_t>& vertices) {
  Data data;
  data.str(name).i32(count);
  for (std::int32_t vertex : vertices) data.i32(vertex);
  return data;
}
inline Data skin(std::string_view name, const std::vector<std::int32_t>& vertices) {
  return skin_counted(name, static_cast<std::int32_t>(vertices.size()), vertices);
}

struct JoinFields {
  std::string name;
  Vec3 centre = {0, 0, 0};
  std::uint16_t mask = 0;  // one degree-of-freedom record per set bit of 0x0077
  std::string linked1, linked2;
};
// Join: name, axes, position, 21 direction floats, mask, the records, the two linked object names.
inline Data join(const JoinFields& joint) {
  Data data;
  data.name(joint.name).axes(joint.centre).matrix();
  for (int i = 0; i < 21; ++i) data.f32(static_cast<float>(i));
  data.u16(joint.mask);
  for (std::uint16_t bit : {0x0001, 0x0002, 0x0004, 0x0010, 0x0020, 0x0040}) {
    if (joint.mask & bit) data.u16(bit).floats({0.5f, -1, 1});
  }
  return std::move(data.str(joint.linked1).str(joint.linked2));
}

}  // namespace facetor::test
