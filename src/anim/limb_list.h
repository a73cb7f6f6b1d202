// The limbs of an avatar COB file: the objects whose names follow the avatar
// naming rule, each with the animation channel (Chan chunk) that belongs to it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cob/container.h"
#include "io/out_stream.h"

namespace facetor {

// The pelvis, root of the avatar skeleton (joint number 1): its limb takes two
// channels, its rotation and the whole body's translation.
inline constexpr std::int32_t kPelvisJoint = 1;

struct LimbChannel {
  std::string word;               // the joint word as written in the object's name
  std::int32_t joint = 0;         // never 0
  std::int32_t objectId = 0;      // chunk ID of the PolH or Grou chunk
  std::optional<Bytes> channel;   // the Chan chunk's data (inside the buffer) once attached
};

struct LimbList {
  std::vector<LimbChannel> limbs;
  std::int64_t unmatchedChannels = 0;  // Chan chunks that found no entry
};

// Walks every chunk of the buffer (past "END " too) and lists the limbs in
// file order, the pelvis twice. Each Chan chunk goes to the first entry of
// its parent object that has no channel yet; a Chan chunk without one prints
// the duplicate line and is counted. The caller has checked the file header.
LimbList collect_limbs(OutStream& console, Bytes buffer);

}  // namespace facetor
