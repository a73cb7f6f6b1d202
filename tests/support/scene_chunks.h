// Chunk data of the scene-tree chunks beyond PolH and Mat1, for composing COB
// files in tests (see cob_builder.h): groups, skeleton chunks, vertex colours
// and hidden flags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/cob_builder.h"

namespace facetor::test {

// Grou or MBal data: name, local axes (centre), position (translation).
Data group(std::string_view name, Vec3 centre = {0, 0, 0}, Vec3 translation = {0, 0, 0},
           std::uint16_t duplicate = 0);
// Scen data: the name only.
Data scene(std::string_view name);

// Skin data: the name (no duplicate count), the vertex count, the indices.
Data skin(std::string_view name, const std::vector<std::int32_t>& vertices);
// Skin data whose count field says count, followed by the given indices.
Data skin_counted(std::string_view name, std::int32_t count, const std::vector<std::int32_t>& vertices);

// Bone data: name, local axes with the given centre, position.
Data bone(std::string_view name, Vec3 centre = {0, 0, 0});

struct JoinSpec {
  std::string name;
  Vec3 centre = {0, 0, 0};
  std::uint16_t mask = 0;  // one degree-of-freedom record per set bit of 0x0077
  std::string linked1;
  std::string linked2;
};
// Join data: name, axes, position, 21 direction floats, mask, the
// degree-of-freedom records, the two linked object names.
Data join(const JoinSpec& spec);

struct ColourEntry {
  std::int32_t face = 0;
  std::vector<std::uint32_t> colours;
};
// VCol data: entry count, then per entry face index, colour count, colours.
Data vcol(const std::vector<ColourEntry>& entries);

// Hidn data: the 16-bit flags.
Data hidn(std::uint16_t flags);

}  // namespace facetor::test
