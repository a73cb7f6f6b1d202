#include "cob/container.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>

namespace facetor {
namespace {

// True when n bytes at cursor stay within both the limit and the buffer.
bool fits(Bytes buffer, std::int32_t cursor, std::int32_t limit, std::int64_t n) {
  const std::int64_t end = static_cast<std::int64_t>(cursor) + n;
  return cursor >= 0 && n >= 0 && end <= limit && end <= static_cast<std::int64_t>(buffer.size());
}

std::uint32_t u32_at(Bytes buffer, std::int32_t at) {
  return static_cast<std::uint32_t>(buffer[at]) | static_cast<std::uint32_t>(buffer[at + 1]) << 8 |
         static_cast<std::uint32_t>(buffer[at + 2]) << 16 | static_cast<std::uint32_t>(buffer[at + 3]) << 24;
}

std::uint16_t u16_at(Bytes buffer, std::int32_t at) {
  return static_cast<std::uint16_t>(buffer[at] | buffer[at + 1] << 8);
}

float f32_at(Bytes buffer, std::int32_t at) {
  const std::uint32_t bits = u32_at(buffer, at);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

}  // namespace

bool read_u16(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::uint16_t& value) {
  if (!fits(buffer, cursor, limit, 2)) return false;
  value = u16_at(buffer, cursor);
  cursor += 2;
  return true;
}

bool read_i32(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::int32_t& value) {
  if (!fits(buffer, cursor, limit, 4)) return false;
  value = static_cast<std::int32_t>(u32_at(buffer, cursor));
  cursor += 4;
  return true;
}

bool read_f32(Bytes buffer, std::int32_t& cursor, std::int32_t limit, float& value) {
  if (!fits(buffer, cursor, limit, 4)) return false;
  value = f32_at(buffer, cursor);
  cursor += 4;
  return true;
}

bool read_i32_array(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::int32_t* values,
                    std::int32_t count) {
  if (!fits(buffer, cursor, limit, 4 * static_cast<std::int64_t>(count))) return false;
  for (std::int32_t i = 0; i < count; ++i) values[i] = static_cast<std::int32_t>(u32_at(buffer, cursor + 4 * i));
  cursor += 4 * count;
  return true;
}

bool read_f32_array(Bytes buffer, std::int32_t& cursor, std::int32_t limit, float* values, std::int32_t count) {
  if (!fits(buffer, cursor, limit, 4 * static_cast<std::int64_t>(count))) return false;
  for (std::int32_t i = 0; i < count; ++i) values[i] = f32_at(buffer, cursor + 4 * i);
  cursor += 4 * count;
  return true;
}

bool read_bytes(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::uint8_t* values, std::int32_t count) {
  if (!fits(buffer, cursor, limit, count)) return false;
  if (count > 0) std::memcpy(values, buffer.data() + cursor, static_cast<std::size_t>(count));
  cursor += count;
  return true;
}

bool read_string(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::string& text, std::size_t capacity) {
  text.clear();
  std::uint16_t raw = 0;
  if (!read_u16(buffer, cursor, limit, raw)) return false;
  const std::int16_t length = static_cast<std::int16_t>(raw);
  if (length > 0 && fits(buffer, cursor, limit, length)) {
    const char* start = reinterpret_cast<const char*>(buffer.data() + cursor);
    const void* nul = std::memchr(start, 0, static_cast<std::size_t>(length));
    const std::size_t used = nul ? static_cast<const char*>(nul) - start : static_cast<std::size_t>(length);
    text.assign(start, std::min(used, capacity > 0 ? capacity - 1 : 0));
    cursor += length;
  }
  return true;
}

bool read_name(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::string& name, std::size_t capacity) {
  name.clear();
  std::uint16_t duplicate = 0;
  if (!read_u16(buffer, cursor, limit, duplicate)) return false;
  if (!read_string(buffer, cursor, limit, name, std::numeric_limits<std::size_t>::max())) return false;
  if (duplicate != 0) {
    char suffix[8];
    const int length = std::snprintf(suffix, sizeof suffix, "_%d", static_cast<std::int16_t>(duplicate));
    name.append(suffix, static_cast<std::size_t>(length));
  }
  if (capacity > 0 && name.size() > capacity - 1) name.resize(capacity - 1);
  return true;
}

bool read_axes(Bytes buffer, std::int32_t& cursor, std::int32_t limit, LocalAxes& axes) {
  return read_f32_array(buffer, cursor, limit, axes.centre, 3) && read_f32_array(buffer, cursor, limit, axes.xAxis, 3) &&
         read_f32_array(buffer, cursor, limit, axes.yAxis, 3) && read_f32_array(buffer, cursor, limit, axes.zAxis, 3);
}

bool read_matrix(Bytes buffer, std::int32_t& cursor, std::int32_t limit, Matrix3x4& matrix) {
  return read_f32_array(buffer, cursor, limit, matrix.rows[0], 4) &&
         read_f32_array(buffer, cursor, limit, matrix.rows[1], 4) &&
         read_f32_array(buffer, cursor, limit, matrix.rows[2], 4);
}

ChunkHeader read_chunk_header(Bytes buffer, std::int32_t p) {
  ChunkHeader header;
  std::memcpy(header.type, buffer.data() + p, 4);
  header.majorVersion = static_cast<std::int16_t>(u16_at(buffer, p + 4));
  header.minorVersion = static_cast<std::int16_t>(u16_at(buffer, p + 6));
  header.chunkId = static_cast<std::int32_t>(u32_at(buffer, p + 8));
  header.parentId = static_cast<std::int32_t>(u32_at(buffer, p + 12));
  header.size = static_cast<std::int32_t>(u32_at(buffer, p + 16));
  return header;
}

bool chunk_type_is(const ChunkHeader& header, const char* type4) {
  for (int i = 0; i < 4; ++i) {
    const auto a = static_cast<unsigned char>(header.type[i]);
    const auto b = static_cast<unsigned char>(type4[i]);
    const auto lower = [](unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    if (lower(a) != lower(b)) return false;
  }
  return true;
}

bool chunk_walk_next(Bytes buffer, ChunkWalk& walk, ChunkAt& chunk) {
  const auto length = static_cast<std::int64_t>(buffer.size());
  if (walk.next + kChunkHeaderSize > length) return false;
  chunk.position = static_cast<std::int32_t>(walk.next);
  chunk.data = chunk.position + kChunkHeaderSize;
  chunk.header = read_chunk_header(buffer, chunk.position);
  const std::int64_t next = static_cast<std::int64_t>(chunk.data) + chunk.header.size;
  const bool endsWalk = chunk.header.size < 0 || next > std::numeric_limits<std::int32_t>::max();
  walk.next = endsWalk ? length : next;
  return true;
}

bool check_file_header(Bytes buffer, std::int32_t& cursor, OutStream& console, const std::string& sourceName) {
  const bool magic = buffer.size() >= kFileHeaderSize && std::memcmp(buffer.data(), "Caligari ", 9) == 0;
  if (!magic) {
    print_warning(console, "%s: Can not read header - file probably corrupted", sourceName.c_str());
    return false;
  }
  cursor = kFileHeaderSize;
  const char format = static_cast<char>(buffer[15]);
  if (format == 'B') return true;
  if (format == 'A') {
    print_warning(console, "%s: ASCII format COB files are not supported - resave as binary", sourceName.c_str());
  } else {
    print_warning(console, "%s: Can not read header - file probably corrupted", sourceName.c_str());
  }
  return false;
}

bool check_diag_header(Bytes buffer, OutStream& console) {
  if (buffer.size() < kFileHeaderSize || std::memcmp(buffer.data(), "Caligari ", 9) != 0) {
    out_write(console, "File specified is not correctly formatted COB file");
    return false;
  }
  if (buffer[15] != 'B') {
    out_write(console, "This program only supports Binary format COB files");
    return false;
  }
  return true;
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
