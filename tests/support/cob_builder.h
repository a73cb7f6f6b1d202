// Composes COB files in memory, so that every test states its input in a few lines.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "io/float_bits.h"

namespace facetor::test {

// The data bytes of one chunk, little-endian as the format stores them.
struct Data {
  std::vector<std::uint8_t> bytes;

  Data& u8(std::uint8_t value) { return bytes.push_back(value), *this; }
  Data& u16(std::uint16_t value) { return u8(static_cast<std::uint8_t>(value)).u8(static_cast<std::uint8_t>(value >> 8)); }
  Data& i16(std::int16_t value) { return u16(static_cast<std::uint16_t>(value)); }
  Data& u32(std::uint32_t value) { return u16(static_cast<std::uint16_t>(value)).u16(static_cast<std::uint16_t>(value >> 16)); }
  Data& i32(std::int32_t value) { return u32(static_cast<std::uint32_t>(value)); }
  Data& f32(float value) { return u32(float_bits(value)); }
  Data& floats(std::initializer_list<float> values) {
    for (float value : values) f32(value);
    return *this;
  }
  Data& raw(std::string_view text) { return bytes.insert(bytes.end(), text.begin(), text.end()), *this; }  // no length
  Data& raw(const std::vector<std::uint8_t>& more) { return bytes.insert(bytes.end(), more.begin(), more.end()), *this; }
  // Signed 16-bit length, characters; a name has a duplicate count first.
  Data& str(std::string_view text) { return i16(static_cast<std::int16_t>(text.size())).raw(text); }
  Data& name(std::string_view text, std::uint16_t duplicate = 0) { return u16(duplicate).str(text); }
  // Local axes (centre, unit X, Y, Z); position (identity rotation, translation t), rows of four.
  Data& axes(std::array<float, 3> c = {0, 0, 0}) { return floats({c[0], c[1], c[2], 1, 0, 0, 0, 1, 0, 0, 0, 1}); }
  Data& matrix(std::array<float, 3> t = {0, 0, 0}) { return floats({1, 0, 0, t[0], 0, 1, 0, t[1], 0, 0, 1, t[2]}); }
  std::size_t size() const { return bytes.size(); }
};

struct Face {
  std::uint8_t flags = 0;  // 0x08: hole (no material field is written)
  std::uint16_t material = 0;
  std::vector<std::pair<std::int32_t, std::int32_t>> corners;  // vertex index, texture coordinate index
};
// Corners use the same index for vertex and texture coordinate.
inline Face face(std::initializer_list<std::int32_t> corners, std::uint16_t material = 0, std::uint8_t flags = 0) {
  Face result{flags, material, {}};
  for (std::int32_t index : corners) result.corners.emplace_back(index, index);
  return result;
}
inline Face hole(std::initializer_list<std::int32_t> corners) { return face(corners, 0, 0x08); }

using Vec3 = std::array<float, 3>;
using Vec2 = std::array<float, 2>;

Data polh(std::string_view name, const std::vector<Vec3>& vertices, const std::vector<Vec2>& uvs,
          const std::vector<Face>& faces, Vec3 centre = {0, 0, 0}, Vec3 translation = {0, 0, 0},
          std::uint16_t duplicate = 0);

struct MapRecord {
  char kind = 't';
  std::uint8_t flags = 0;
  std::string name;
  std::vector<float> placement;  // 4 floats for 't', 5 for 'b', none for 'e'
};
inline MapRecord texture_map(std::string name, std::uint8_t flags = 0) { return {'t', flags, std::move(name), {0, 0, 1, 1}}; }
struct MaterialSpec {
  std::uint16_t number = 0;
  char shader = 'p', facet = 'f';
  std::uint8_t autofacetAngle = 30;
  float red = 1, green = 1, blue = 1, alpha = 1, ambient = 0.1f, specular = 0.1f, exponent = 0.5f, refraction = 1;
  std::vector<MapRecord> maps;
};
Data mat1(const MaterialSpec& material);

// A whole COB file: the 32-byte header, then chunks.
struct CobFile {
  std::vector<std::uint8_t> bytes;

  explicit CobFile(char format = 'B') { raw(Data{}.raw("Caligari V00.01").u8(format).raw("LH             \n").bytes); }
  CobFile& chunk(std::string_view type, std::int32_t id, std::int32_t parent, const Data& data, std::int16_t major = 0,
                 std::int16_t minor = 1) {
    return chunk_sized(type, id, parent, data, static_cast<std::int32_t>(data.size()), major, minor);
  }
  // The size field says declaredSize, whatever data follows.
  CobFile& chunk_sized(std::string_view type, std::int32_t id, std::int32_t parent, const Data& data,
                       std::int32_t declaredSize, std::int16_t major = 0, std::int16_t minor = 1);
  CobFile& end(std::int32_t id = 0) { return chunk("END ", id, 0, Data{}); }
  CobFile& raw(const std::vector<std::uint8_t>& more) { return bytes.insert(bytes.end(), more.begin(), more.end()), *this; }
  std::span<const std::uint8_t> span() const { return bytes; }
};

// Chan data: a leading text, the type, two unused bytes, the keyframe count as given, the records.
inline Data chan(std::string_view type, std::int16_t keyframes, const Data& records, std::string_view leading = {}) {
  return std::move(Data{}.str(leading).str(type).u16(0).i16(keyframes).raw(records.bytes));
}
// Keyframes, unused bytes 0xEE: rotation {frame, r0..r3} (36 bytes), translation {frame, x, y, z} (32).
inline Data rotate_keys(std::initializer_list<std::array<float, 5>> keys) {
  Data data;
  for (const auto& key : keys) data.f32(key[0]).raw(std::string(16, '\xEE')).floats({key[1], key[2], key[3], key[4]});
  return data;
}
inline Data move_keys(std::initializer_list<std::array<float, 4>> keys) {
  Data data;
  for (const auto& key : keys) data.f32(key[0]).raw(std::string(16, '\xEE')).floats({key[1], key[2], key[3]});
  return data;
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::string read_file(const std::string& path);

}  // namespace facetor::test
