#include "cob/container.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

#include "io/float_bits.h"
#include "io/text.h"

namespace facetor {
namespace {

constexpr auto kLargestOffset = static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max());

// Takes the next n bytes: points at them and advances the cursor, or fails
// the reader when they do not fit (or it has failed already).
bool take(Reader& r, std::int64_t n, const std::uint8_t*& bytes) {
  if (r.failed || n < 0 || n > bytes_left(r)) {
    r.failed = true;
    return false;
  }
  bytes = r.buffer.data() + r.at;
  r.at += static_cast<std::int32_t>(n);
  return true;
}

std::uint16_t u16_at(const std::uint8_t* b) { return static_cast<std::uint16_t>(b[0] | b[1] << 8); }

}  // namespace

Reader reader_at(Bytes buffer, std::int64_t at, std::int64_t end) {
  const std::int64_t last = std::min(static_cast<std::int64_t>(buffer.size()), kLargestOffset);
  const std::int64_t stop = std::clamp<std::int64_t>(end, 0, last);
  return Reader{buffer, static_cast<std::int32_t>(std::clamp<std::int64_t>(at, 0, last)),
                static_cast<std::int32_t>(stop), at < 0};
}

bool read_u8(Reader& r, std::uint8_t& value) {
  const std::uint8_t* b = nullptr;
  if (!take(r, 1, b)) return false;
  value = b[0];
  return true;
}

bool read_u16(Reader& r, std::uint16_t& value) {
  const std::uint8_t* b = nullptr;
  if (!take(r, 2, b)) return false;
  value = u16_at(b);
  return true;
}

bool read_i16(Reader& r, std::int16_t& value) {
  const std::uint8_t* b = nullptr;
  if (!take(r, 2, b)) return false;
  value = static_cast<std::int16_t>(u16_at(b));
  return true;
}

bool read_i32(Reader& r, std::int32_t& value) {
  const std::uint8_t* b = nullptr;
  if (!take(r, 4, b)) return false;
  value = static_cast<std::int32_t>(u32_at(b));
  return true;
}

bool read_f32(Reader& r, float& value) {
  const std::uint8_t* b = nullptr;
  if (!take(r, 4, b)) return false;
  value = f32_at(b);
  return true;
}

bool read_f32_array(Reader& r, float* values, std::int32_t count) {
  const std::uint8_t* b = nullptr;
  if (!take(r, 4 * static_cast<std::int64_t>(count), b)) return false;
  for (std::int32_t i = 0; i < count; ++i) values[i] = f32_at(b + 4 * i);
  return true;
}

bool read_bytes(Reader& r, std::uint8_t* values, std::int32_t count) {
  const std::uint8_t* b = nullptr;
  if (!take(r, count, b)) return false;
  if (count > 0) std::memcpy(values, b, static_cast<std::size_t>(count));
  return true;
}

bool skip_bytes(Reader& r, std::int64_t count) {
  const std::uint8_t* b = nullptr;
  return take(r, count, b);
}

bool read_name_field(Reader& r, NameField& field) {
  field.copied = false;
  field.chars.clear();
  if (!read_u16(r, field.duplicate) || !read_i16(r, field.length)) return false;
  if (field.length < 0 || field.length > bytes_left(r)) return true;
  const std::uint8_t* b = nullptr;
  take(r, field.length, b);
  field.chars.assign(reinterpret_cast<const char*>(b), static_cast<std::size_t>(field.length));
  field.copied = true;
  return true;
}

bool read_string(Reader& r, std::string& text, std::size_t capacity) {
  text.clear();
  std::int16_t length = 0;
  if (!read_i16(r, length)) return false;
  if (length > 0 && length <= bytes_left(r)) {
    const std::uint8_t* b = nullptr;
    take(r, length, b);
    const std::string_view chars(reinterpret_cast<const char*>(b), static_cast<std::size_t>(length));
    text.assign(cut_at_nul(chars).substr(0, capacity > 0 ? capacity - 1 : 0));
  }
  return true;
}

std::string duplicate_suffix(std::uint16_t duplicate) {
  if (duplicate == 0) return {};
  char suffix[8];
  const int length = std::snprintf(suffix, sizeof suffix, "_%d", static_cast<std::int16_t>(duplicate));
  return std::string(suffix, static_cast<std::size_t>(length));
}

bool read_name(Reader& r, std::string& name, std::size_t capacity) {
  name.clear();
  NameField field;
  if (!read_name_field(r, field)) return false;
  if (field.copied) name = cut_at_nul(field.chars);
  name += duplicate_suffix(field.duplicate);
  if (capacity > 0 && name.size() > capacity - 1) name.resize(capacity - 1);
  return true;
}

bool read_axes(Reader& r, LocalAxes& axes) {
  return read_f32_array(r, axes.centre, 3) && read_f32_array(r, axes.xAxis, 3) && read_f32_array(r, axes.yAxis, 3) &&
         read_f32_array(r, axes.zAxis, 3);
}

bool read_matrix(Reader& r, Matrix3x4& matrix) {
  return read_f32_array(r, matrix.rows[0], 4) && read_f32_array(r, matrix.rows[1], 4) &&
         read_f32_array(r, matrix.rows[2], 4);
}

bool read_chunk_header(Reader& r, ChunkHeader& header) {
  std::uint8_t type[4];
  if (!read_bytes(r, type, 4)) return false;
  std::memcpy(header.type, type, 4);
  return read_i16(r, header.majorVersion) && read_i16(r, header.minorVersion) && read_i32(r, header.chunkId) &&
         read_i32(r, header.parentId) && read_i32(r, header.size);
}

bool chunk_type_is(const ChunkHeader& header, const char* type4) {
  for (int i = 0; i < 4; ++i) {
    if (to_ascii_lower(header.type[i]) != to_ascii_lower(type4[i])) return false;
  }
  return true;
}

bool chunk_walk_next(Bytes buffer, ChunkWalk& walk, ChunkAt& chunk) {
  const auto length = static_cast<std::int64_t>(buffer.size());
  Reader r = reader_at(buffer, walk.next, walk.next + kChunkHeaderSize);
  if (walk.next > kLargestOffset || !read_chunk_header(r, chunk.header)) return false;
  chunk.position = static_cast<std::int32_t>(walk.next);
  chunk.data = chunk.position + kChunkHeaderSize;
  const std::int64_t next = static_cast<std::int64_t>(chunk.data) + chunk.header.size;
  const bool endsWalk = chunk.header.size < 0 || next > kLargestOffset;
  walk.next = endsWalk ? length : next;
  return true;
}

HeaderClass classify_header(Bytes buffer) {
  if (buffer.size() < kFileHeaderSize || std::memcmp(buffer.data(), "Caligari ", 9) != 0) return HeaderClass::NotCob;
  switch (buffer[15]) {
    case 'B': return HeaderClass::Binary;
    case 'A': return HeaderClass::Ascii;
    default: return HeaderClass::OtherFormat;
  }
}

bool check_file_header(Bytes buffer, OutStream& console, const std::string& sourceName) {
  switch (classify_header(buffer)) {
    case HeaderClass::Binary: return true;
    case HeaderClass::Ascii:
      print_warning(console, "%s: ASCII format COB files are not supported - resave as binary", sourceName.c_str());
      return false;
    case HeaderClass::NotCob:
    case HeaderClass::OtherFormat: break;
  }
  print_warning(console, "%s: Can not read header - file probably corrupted", sourceName.c_str());
  return false;
}

bool check_diag_header(Bytes buffer, OutStream& console) {
  switch (classify_header(buffer)) {
    case HeaderClass::Binary: return true;
    case HeaderClass::NotCob: out_write(console, "File specified is not correctly formatted COB file"); return false;
    case HeaderClass::Ascii:
    case HeaderClass::OtherFormat: break;
  }
  out_write(console, "This program only supports Binary format COB files");
  return false;
}

void print_warning(OutStream& console, const char* format, ...) {
  char text[512];
  std::va_list args;
  va_start(args, format);
  const int written = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (written < 0) return;
  out_write(console, std::string_view(text, std::min<std::size_t>(static_cast<std::size_t>(written), 511)));
  out_put(console, '\n');
}

}  // namespace facetor
