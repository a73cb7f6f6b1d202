// The COB container: the 32-byte file header, the 20-byte chunk header, the
// rule by which chunks follow one another, and the bounded primitive readers
// through which every chunk handler takes values out of the input buffer.
//
// Every reader takes the buffer, a cursor that it advances and a limit, and
// fails rather than read past the limit (or past the end of the buffer).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "io/out_stream.h"

namespace facetor {

using Bytes = std::span<const std::uint8_t>;

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

// Primitive readers. A read of n bytes at cursor k is allowed when k + n is at
// most the limit and at most the buffer's length.
bool read_u16(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::uint16_t& value);
bool read_i32(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::int32_t& value);
bool read_f32(Bytes buffer, std::int32_t& cursor, std::int32_t limit, float& value);
bool read_i32_array(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::int32_t* values, std::int32_t count);
bool read_f32_array(Bytes buffer, std::int32_t& cursor, std::int32_t limit, float* values, std::int32_t count);
bool read_bytes(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::uint8_t* values, std::int32_t count);

// Length-prefixed string (signed 16-bit length). Characters that would pass
// the limit, or a length of 0 or less, leave the text empty and the cursor
// right after the length field; that still counts as success. The text ends
// at its first NUL byte and is cut to capacity - 1 characters.
bool read_string(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::string& text,
                 std::size_t capacity);

// Name with duplicate count: 16-bit count, then a string; a nonzero count
// appends "_%d" (count as signed 16-bit). The whole text is cut to
// capacity - 1 characters.
bool read_name(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::string& name,
               std::size_t capacity);

bool read_axes(Bytes buffer, std::int32_t& cursor, std::int32_t limit, LocalAxes& axes);
bool read_matrix(Bytes buffer, std::int32_t& cursor, std::int32_t limit, Matrix3x4& matrix);

// Reads the 20-byte chunk header at position p (the caller has checked that
// p + 20 is at most the length).
ChunkHeader read_chunk_header(Bytes buffer, std::int32_t p);

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

// The loader's header check: prints its warning (with the source name first)
// through print_warning and fails, or succeeds for a binary COB file. The
// cursor is advanced to 32.
bool check_file_header(Bytes buffer, std::int32_t& cursor, OutStream& console, const std::string& sourceName);

// The header check of the diagnostic and animation paths: prints its message
// without a line end and fails. A buffer shorter than 32 bytes is not a COB file.
bool check_diag_header(Bytes buffer, OutStream& console);

// A printf-style warning of at most 511 characters followed by a line end.
void print_warning(OutStream& console, const char* format, ...) FACETOR_PRINTF_FORMAT(2, 3);

}  // namespace facetor
