// The COB container: the 32-byte file header, the 20-byte chunk header, the
// rule by which chunks follow one another, and the bounded primitive readers
// through which every chunk handler takes values out of the input buffer.
//
// Every read goes through a Reader, whose cursor is bounded by an end that
// never lies past the buffer.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "io/float_bits.h"
#include "io/out_stream.h"

namespace facetor {

using Bytes = std::span<const std::uint8_t>;

// The little-endian 32-bit value at b.
inline std::uint32_t u32_at(const std::uint8_t* b) {
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

// The little-endian 32-bit float at b.
inline float f32_at(const std::uint8_t* b) { return float_from_bits(u32_at(b)); }

inline constexpr std::int32_t kFileHeaderSize = 32;
inline constexpr std::int32_t kChunkHeaderSize = 20;

struct ChunkHeader {
  char type[4] = {0, 0, 0, 0};
  std::int16_t majorVersion = 0;
  std::int16_t minorVersion = 0;
  std::int32_t chunkId = 0;
  std::int32_t parentId = 0;
  std::int32_t size = 0;
};

struct LocalAxes {
  float centre[3];
  float xAxis[3];
  float yAxis[3];
  float zAxis[3];
};

struct Matrix3x4 {
  float rows[3][4];
};

// A bounded read cursor over the input buffer: reads take their bytes at
// `at` and never past `end`, which never lies past the buffer. A read that
// does not fit takes nothing, leaves the cursor where it was and marks the
// reader failed; from then on every read fails, so a chain of reads needs
// one check at its end.
struct Reader {
  Bytes buffer;
  std::int32_t at = 0;
  std::int32_t end = 0;
  bool failed = false;
};

// A reader over the bytes from `at` up to `end`, with `end` held to the
// buffer's length and to the largest 32-bit offset.
Reader reader_at(Bytes buffer, std::int64_t at, std::int64_t end);
// A reader over the whole of bytes.
inline Reader reader_over(Bytes bytes) { return reader_at(bytes, 0, static_cast<std::int64_t>(bytes.size())); }

// Bytes that can still be read. Counts from the file are checked against this
// before any array is made for them.
inline std::int64_t bytes_left(const Reader& r) { return r.at < r.end ? std::int64_t{r.end} - r.at : 0; }

// Primitive reads: each gives false, and changes nothing, when the reader has
// failed or the value does not fit before the end.
bool read_u8(Reader& r, std::uint8_t& value);
bool read_u16(Reader& r, std::uint16_t& value);
bool read_i16(Reader& r, std::int16_t& value);
bool read_i32(Reader& r, std::int32_t& value);
bool read_f32(Reader& r, float& value);
// Arrays check their whole span before the first element is read.
bool read_f32_array(Reader& r, float* values, std::int32_t count);
bool read_bytes(Reader& r, std::uint8_t* values, std::int32_t count);
bool skip_bytes(Reader& r, std::int64_t count);

// Length-prefixed string (signed 16-bit length). Characters that would pass
// the end, or a length of 0 or less, leave the text empty and the cursor
// right after the length field; that still counts as success. The text ends
// at its first NUL byte and is cut to capacity - 1 characters.
bool read_string(Reader& r, std::string& text, std::size_t capacity);

// The name field of groups, polygon objects, bones and joints: a 16-bit
// duplicate count, a signed 16-bit length and the characters. Characters that
// would pass the end, or a negative length, are not taken (copied is false,
// chars empty) and the cursor stays right after the length field.
struct NameField {
  std::uint16_t duplicate = 0;
  std::int16_t length = 0;
  bool copied = false;
  std::string chars;  // as stored, NULs included
};
bool read_name_field(Reader& r, NameField& field);

// "_%d" with the duplicate count as a signed 16-bit number; empty for 0.
std::string duplicate_suffix(std::uint16_t duplicate);

// The scene's form of a name: the characters up to their first NUL, then the
// duplicate suffix (also when the characters were not taken), cut to
// capacity - 1 characters. So Sphere with duplicate count 2 reads Sphere_2.
bool read_name(Reader& r, std::string& name, std::size_t capacity);

bool read_axes(Reader& r, LocalAxes& axes);
bool read_matrix(Reader& r, Matrix3x4& matrix);

// A 20-byte chunk header.
bool read_chunk_header(Reader& r, ChunkHeader& header);

// Chunk types compared on their four characters without regard to ASCII case.
bool chunk_type_is(const ChunkHeader& header, const char* type4);

// The chunk walk shared by every path: starting at offset 32, each call
// yields the next chunk whose 20-byte header fits in the buffer. A chunk whose
// size is negative, or whose next position would pass 2^31 - 1, is yielded
// like any other and ends the walk after it.
struct ChunkWalk {
  std::int64_t next = kFileHeaderSize;
};
struct ChunkAt {
  ChunkHeader header;
  std::int32_t position = 0;  // offset of the chunk header
  std::int32_t data = 0;      // offset of the chunk's data (position + 20)
};
bool chunk_walk_next(Bytes buffer, ChunkWalk& walk, ChunkAt& chunk);

// Calls visit(chunk) for every chunk of the walk, in file order.
template <class Visit>
void for_each_chunk(Bytes buffer, Visit&& visit) {
  ChunkWalk walk;
  ChunkAt chunk;
  while (chunk_walk_next(buffer, walk, chunk)) visit(chunk);
}

// What the file header says: a binary COB file, an ASCII one, one of
// another format, or no COB file at all (shorter than the 32-byte header, or
// without its "Caligari " mark).
enum class HeaderClass { NotCob, Binary, Ascii, OtherFormat };
HeaderClass classify_header(Bytes buffer);

// The loader's header check: prints its warning (with the source name first)
// through print_warning and fails, or succeeds for a binary COB file.
bool check_file_header(Bytes buffer, OutStream& console, const std::string& sourceName);

// The header check of the diagnostic and animation paths: prints its message
// without a line end and fails. A buffer shorter than 32 bytes is not a COB file.
bool check_diag_header(Bytes buffer, OutStream& console);

// A printf-style warning of at most 511 characters followed by a line end.
void print_warning(OutStream& console, const char* format, ...) FACETOR_PRINTF_FORMAT(2, 3);

}  // namespace facetor
