// Chunk data of the scene-tree chunks beyond PolH and Mat1, for composing COB
// files in tests (see cob_builder.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/cob_builder.h"

namespace facetor::test {

// Grou or MBal data: name, local axes (centre), position (translation).
inline Data group(std::string_view name, Vec3 centre = {}, Vec3 translation = {}, std::uint16_t duplicate = 0) {
  return Data{}.name(name, duplicate).axes(centre).matrix(translation);
}
// Scen data: the name only.
inline Data scene(std::string_view name) { return Data{}.name(name); }
// Bone data: name, local axes with the given centre, position.
inline Data bone(std::string_view name, Vec3 centre = {}) { return Data{}.name(name).axes(centre).matrix(); }

// Skin data: the name (no duplicate count), a count field, the indices.
inline Data skin_counted(std::string_view name, std::int32_t count, const std::vector<std::int32_t>& vertices) {
  Data data;
  data.str(name).i32(count);
  for (std::int32_t vertex : vertices) data.i32(vertex);
  return data;
}
inline Data skin(std::string_view name, const std::vector<std::int32_t>& vertices) {
  return skin_counted(name, static_cast<std::int32_t>(vertices.size()), vertices);
}

struct JoinSpec {
  std::string name;
  Vec3 centre = {0, 0, 0};
  std::uint16_t mask = 0;  // one degree-of-freedom record per set bit of 0x0077
  std::string linked1;
  std::string linked2;
};
// Join data: name, axes, position, 21 direction floats, mask, the
// degree-of-freedom records, the two linked object names.
inline Data join(const JoinSpec& spec) {
  Data data;
  data.name(spec.name).axes(spec.centre).matrix();
  for (int i = 0; i < 21; ++i) data.f32(static_cast<float>(i));
  data.u16(spec.mask);
  for (std::uint16_t bit : {0x0001, 0x0002, 0x0004, 0x0010, 0x0020, 0x0040}) {
    if (spec.mask & bit) data.u16(bit).floats({0.5f, -1, 1});
  }
  return data.str(spec.linked1).str(spec.linked2);
}

struct ColourEntry {
  std::int32_t face = 0;
  std::vector<std::uint32_t> colours;
};
// VCol data: entry count, then per entry face index, colour count, colours.
inline Data vcol(const std::vector<ColourEntry>& entries) {
  Data data;
  data.i32(static_cast<std::int32_t>(entries.size()));
  for (const ColourEntry& entry : entries) {
    data.i32(entry.face).i32(static_cast<std::int32_t>(entry.colours.size()));
    for (std::uint32_t colour : entry.colours) data.u32(colour);
  }
  return data;
}

}  // namespace facetor::test
