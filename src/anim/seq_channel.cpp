#include "anim/seq_channel.h"

#include <array>
#include <cmath>
#include <limits>

namespace facetor {
namespace {

constexpr std::size_t kTypeCapacity = 100;  // type buffer, terminator included

// clang-format off
constexpr std::array<std::uint8_t, 50> kDefaultRotate = {
    0, 0,                                // no leading text
    6, 0, 'r', 'o', 't', 'a', 't', 'e',  // type
    0, 0,                                // unused
    1, 0,                                // one keyframe
    0, 0, 0, 0,                          // frame 0.0
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0, 0, 0x80, 0x3F,                    // r0 = 1.0
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // r1 = r2 = r3 = 0.0
};
constexpr std::array<std::uint8_t, 44> kDefaultMove = {
    0, 0,                                // no leading text
    4, 0, 'm', 'o', 'v', 'e',            // type
    0, 0,                                // unused
    1, 0,                                // one keyframe
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // frame 0.0, unused
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // unused, X, Y, Z = 0.0
};
// clang-format on

bool read_i16(Bytes bytes, std::int32_t& cursor, std::int32_t limit, std::int16_t& value) {
  std::uint16_t raw = 0;
  if (!read_u16(bytes, cursor, limit, raw)) return false;
  value = static_cast<std::int16_t>(raw);
  return true;
}

// The type text: ends at its first NUL, ASCII letters lowered.
std::string lowered_type(Bytes bytes, std::int32_t at, std::int32_t length) {
  std::string type;
  for (std::int32_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(bytes[static_cast<std::size_t>(at + i)]);
    if (c == '\0') break;
    type.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
  }
  return type;
}

}  // namespace

ChannelView read_channel(Bytes channel) {
  ChannelView view;
  const auto limit =
      static_cast<std::int32_t>(std::min<std::size_t>(channel.size(), std::numeric_limits<std::int32_t>::max()));
  std::int32_t cursor = 0;
  std::int16_t leading = 0;
  if (!read_i16(channel, cursor, limit, leading) || leading < 0 || leading > limit - cursor) return view;
  cursor += leading;
  std::int16_t typeLength = 0;
  if (!read_i16(channel, cursor, limit, typeLength) || typeLength < 0 || typeLength > limit - cursor) return view;
  const std::int32_t typeAt = cursor;
  cursor += typeLength;
  std::uint16_t unused = 0;
  if (!read_u16(channel, cursor, limit, unused) || !read_i16(channel, cursor, limit, view.keyframes)) return view;

  // A type too long for its buffer is no known type, whatever it holds.
  const bool fitsBuffer = static_cast<std::size_t>(typeLength) < kTypeCapacity;
  view.type = lowered_type(channel, typeAt, std::min<std::int32_t>(typeLength, kTypeCapacity - 1));
  std::int32_t recordSize = 0;
  if (fitsBuffer && view.type == "rotate") {
    view.kind = ChannelKind::Rotate;
    recordSize = kRotateRecordSize;
  } else if (fitsBuffer && view.type == "move") {
    view.kind = ChannelKind::Move;
    recordSize = kMoveRecordSize;
  } else {
    view.kind = ChannelKind::Other;
    return view;
  }
  const std::int64_t recordBytes = view.keyframes > 0 ? std::int64_t{view.keyframes} * recordSize : 0;
  if (recordBytes > limit - cursor) {
    view.kind = ChannelKind::Unreadable;
    return view;
  }
  view.records = channel.subspan(static_cast<std::size_t>(cursor), static_cast<std::size_t>(recordBytes));
  return view;
}

Bytes default_rotate_channel() { return kDefaultRotate; }
Bytes default_move_channel() { return kDefaultMove; }

std::int32_t frame_number(float frame) {
  if (std::isnan(frame)) return 0;
  if (frame >= 2147483648.0f) return std::numeric_limits<std::int32_t>::max();
  if (frame <= -2147483648.0f) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(frame);
}

}  // namespace facetor
