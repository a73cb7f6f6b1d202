// The map records of a Mat1 chunk: after the fixed material fields, records
// of a kind letter ('e' environment, 't' texture, 'b' bump, others possible),
// a byte not used, a flags byte, a signed 16-bit name length and the name
// (a file path); a texture record carries 16 more bytes of placement, a bump
// record 20. The loader and the image list read them alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cob/container.h"

namespace facetor {

// Data offset of the first map record: right after the fixed material fields.
inline constexpr std::int32_t kFirstMapRecord = 37;

// The five bytes that open every record: kind, a byte not used, flags, name length.
struct MapRecordHead {
  char kind = 0;
  std::uint8_t flags = 0;
  std::int16_t nameLength = 0;
};

bool read_map_head(Reader& r, MapRecordHead& head);

// The record's name of `length` characters, kept up to its first NUL. False,
// with the name untouched and the cursor unmoved, when the length is negative
// or the characters do not fit.
bool read_map_name(Reader& r, std::int16_t length, std::string& name);

// Bytes of placement after the name: 16 for a texture, 20 for a bump map.
std::int32_t map_placement_size(char kind);

// The file name of a texture path: up to its first NUL, after the last '/'
// or '\' (the whole path when it has neither).
std::string_view texture_file_name(std::string_view path);

}  // namespace facetor
