#include "anim/seq_writer.h"

#include <algorithm>
#include <array>
#include <limits>

#include "anim/seq_channel.h"
#include "io/text.h"

namespace facetor {
namespace {

constexpr std::array<char, 4> kMagic = {0x7F, 0x7F, 0x7F, 0x79};
constexpr std::int32_t kRotateValueSize = 16;
constexpr std::int32_t kMoveValueSize = 4;
constexpr std::int32_t kLargestHeaderFrame = std::numeric_limits<std::int16_t>::max();
constexpr std::uint8_t kSignBit = 0x80;

// Offsets inside a keyframe record.
constexpr std::int32_t kFrameAt = 0;
constexpr std::int32_t kValuesAt = 20;

void put_be16(OutStream& out, std::uint16_t value) {
  const char bytes[2] = {static_cast<char>(value >> 8), static_cast<char>(value)};
  out_write(out, std::string_view(bytes, 2));
}

void put_be32(OutStream& out, std::int32_t value) {
  const auto bits = static_cast<std::uint32_t>(value);
  const char bytes[4] = {static_cast<char>(bits >> 24), static_cast<char>(bits >> 16), static_cast<char>(bits >> 8),
                         static_cast<char>(bits)};
  out_write(out, std::string_view(bytes, 4));
}

// Copies the little-endian float at offset `at` of the record to the file in
// big-endian order, bit for bit; a negated value has its sign bit flipped.
void put_float(OutStream& out, Bytes record, std::int32_t at, bool negate) {
  std::array<std::uint8_t, 4> little{};
  Reader r = reader_at(record, at, static_cast<std::int64_t>(record.size()));
  read_bytes(r, little.data(), 4);
  if (negate) little[3] ^= kSignBit;
  const char bytes[4] = {static_cast<char>(little[3]), static_cast<char>(little[2]), static_cast<char>(little[1]),
                         static_cast<char>(little[0])};
  out_write(out, std::string_view(bytes, 4));
}

// Writes the record's frame number and keeps the largest one for the header.
void put_frame(SeqWriter& writer, Bytes record) {
  float raw = 0;
  Reader r = reader_at(record, kFrameAt, static_cast<std::int64_t>(record.size()));
  read_f32(r, raw);
  const std::int32_t frame = frame_number(raw);
  if (frame > writer.state.largestFrame) {
    writer.state.largestFrame = static_cast<std::int16_t>(std::min(frame, kLargestHeaderFrame));
  }
  put_be32(writer.out, frame);
}

Bytes record_at(const ChannelView& view, std::int32_t index, std::int32_t size) {
  return view.records.subspan(static_cast<std::size_t>(index) * static_cast<std::size_t>(size),
                              static_cast<std::size_t>(size));
}

void put_rotation_key(SeqWriter& writer, Bytes record, bool closing) {
  put_frame(writer, record);
  put_float(writer.out, record, kValuesAt, false);       // r0
  put_float(writer.out, record, kValuesAt + 4, false);   // r1
  put_float(writer.out, record, kValuesAt + 12, closing);  // r3
  put_float(writer.out, record, kValuesAt + 8, false);   // r2
}

void put_move_section(SeqWriter& writer, const ChannelView& view, std::int32_t axis) {
  put_be32(writer.out, kMoveValueSize);
  put_be32(writer.out, view.keyframes);
  for (std::int32_t i = 0; i < view.keyframes; ++i) {
    const Bytes record = record_at(view, i, kMoveRecordSize);
    put_frame(writer, record);
    put_float(writer.out, record, kValuesAt + 4 * axis, axis == 2);  // Z is negated
  }
}

}  // namespace

void write_seq_string(OutStream& out, std::string_view text) {
  text = cut_at_nul(text).substr(0, std::numeric_limits<std::uint16_t>::max() - 1);
  put_be16(out, static_cast<std::uint16_t>(text.size() + 1));
  out_write(out, text);
  out_put(out, '\0');
}

void write_seq_header(SeqWriter& writer, std::int32_t limbCount) {
  if (writer.state.largestFrame != 0) {
    out_printf(writer.console, "  Totals: frames=%d, limbs=%d\n", writer.state.largestFrame, limbCount);
  }
  out_rewind(writer.out);
  out_write(writer.out, std::string_view(kMagic.data(), kMagic.size()));
  put_be16(writer.out, static_cast<std::uint16_t>(writer.state.largestFrame));
  put_be32(writer.out, limbCount);
  write_seq_string(writer.out, writer.sourceName);
  write_seq_string(writer.out, "pelvis");
}

std::int32_t write_rotate_section(SeqWriter& writer, std::string_view limbName, Bytes channel, bool closing) {
  const ChannelView view = read_channel(channel);
  switch (view.kind) {
    case ChannelKind::Unreadable:
      return 0;
    case ChannelKind::Move:
      writer.state.moveMarker = 4;
      return 0;
    case ChannelKind::Other:
      out_printf(writer.console, "**  Skipping '%s' frame (%d keyframes)\n", view.type.c_str(), view.keyframes);
      return 0;
    case ChannelKind::Rotate:
      break;
  }
  const std::string name(limbName);
  out_printf(writer.console, "  Processing ROTATE (%d keyframes) for '%s'\n", view.keyframes, name.c_str());
  if (!closing) write_seq_string(writer.out, limbName);
  put_be32(writer.out, kRotateValueSize);
  put_be32(writer.out, view.keyframes);
  for (std::int32_t i = 0; i < view.keyframes; ++i) {
    put_rotation_key(writer, record_at(view, i, kRotateRecordSize), closing);
  }
  return 1;
}

std::int32_t write_move_sections(SeqWriter& writer, std::string_view limbName, Bytes channel) {
  const ChannelView view = read_channel(channel);
  if (view.kind != ChannelKind::Move) return 0;
  const std::string name(limbName);
  out_printf(writer.console, "  Processing MOVE (%d keyframes) for '%s'\n", view.keyframes, name.c_str());
  for (std::int32_t axis = 0; axis < 3; ++axis) put_move_section(writer, view, axis);
  return 1;
}

void write_move_marker(SeqWriter& writer) { put_be32(writer.out, writer.state.moveMarker); }

}  // namespace facetor
