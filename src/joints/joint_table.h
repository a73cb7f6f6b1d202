// The fixed table of avatar joint names: every spelling of every joint
// number, in lower case, each name once.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace facetor {

struct JointName {
  std::string_view name;
  std::int32_t joint;
};

// All 203 names with their joint numbers (1 to 80, 82 and 83).
std::span<const JointName> joint_name_table();

}  // namespace facetor
