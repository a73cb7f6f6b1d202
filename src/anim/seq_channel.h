// The animation channel of a Chan chunk, read within its own bytes: a leading
// text, the channel type, the keyframe count and the keyframe records.
#pragma once

#include <cstdint>
#include <string>

#include "cob/container.h"

namespace facetor {

inline constexpr std::int32_t kRotateRecordSize = 36;
inline constexpr std::int32_t kMoveRecordSize = 32;

enum class ChannelKind {
  Unreadable,  // the layout does not fit the channel's bytes
  Rotate,
  Move,
  Other,
};

struct ChannelView {
  ChannelKind kind = ChannelKind::Unreadable;
  std::string type;             // lowered, ends at its first NUL, at most 99 characters
  std::int16_t keyframes = 0;   // as stored (may be 0 or negative)
  Bytes records;                // Rotate/Move: exactly the keyframe records
};

// Reads the channel layout; every read stays inside the channel's bytes.
// A "rotate" or "move" channel whose records do not all fit is unreadable.
ChannelView read_channel(Bytes channel);

// The channels written when a file provides none of a kind: one identity
// rotation key, and one translation key at the origin, both at frame 0.
Bytes default_rotate_channel();
Bytes default_move_channel();

// A keyframe's float frame number as a whole frame: truncated toward zero,
// NaN as 0, values beyond the 32-bit range held at its ends.
std::int32_t frame_number(float frame);

}  // namespace facetor
