#include "anim/seq_channel.h"

#include "io/text.h"

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

// The type text: ends at its first NUL, ASCII letters lowered.
std::string lowered_type(Bytes bytes, std::int32_t at, std::int32_t length) {
  const std::string_view chars(reinterpret_cast<const char*>(bytes.data()) + at, static_cast<std::size_t>(length));
  return lowered_ascii(cut_at_nul(chars));
}

// Skips a signed 16-bit length and that many bytes; false when they do not fit.
bool skip_counted(Reader& r, std::int16_t& length) {
  return read_i16(r, length) && length >= 0 && skip_bytes(r, length);
}

}  // namespace

ChannelView read_channel(Bytes channel) {
  ChannelView view;
  Reader r = reader_over(channel);
  std::int16_t leading = 0, typeLength = 0;
  if (!skip_counted(r, leading) || !skip_counted(r, typeLength)) return view;
  const std::int32_t typeAt = r.at - typeLength;
  std::uint16_t unused = 0;
  if (!read_u16(r, unused) || !read_i16(r, view.keyframes)) return view;

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
  if (recordBytes > bytes_left(r)) {
    view.kind = ChannelKind::Unreadable;
    return view;
  }
  view.records = channel.subspan(static_cast<std::size_t>(r.at), static_cast<std::size_t>(recordBytes));
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
