// Avatar joint names: the fixed table of 203 spellings for the joint numbers
// 1 to 80, 82 and 83, and the lookup that maps a name to its joint number.
#pragma once

#include <cstdint>
#include <string_view>

namespace facetor {

// Joint number of a name (any letter case, with or without "qz_"), or 0.
// The name is a C string: it ends at its first NUL byte. The lookup index is
// built from the table on first use (thread-safe) and kept for the run.
std::int32_t joint_lookup(std::string_view name);

// The avatar naming rule: the text must begin with "qz_" (exactly); the rest is
// split at every "_" and the first word with a joint number gives the result.
std::int32_t joint_from_name(std::string_view text);

// The same rule, also giving the word that named the joint, as it stands in
// the text (its letter case kept); the word is empty when the joint is 0.
struct AvatarJoint {
  std::int32_t joint = 0;
  std::string_view word;
};
AvatarJoint avatar_joint(std::string_view text);

}  // namespace facetor
