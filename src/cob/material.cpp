#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "cob/scene_readers.h"

namespace facetor {
namespace {

constexpr std::int64_t kMapRecordHead = 5;  // kind, second byte, flags, name length

bool read_char(Bytes buffer, std::int32_t& cursor, std::int32_t limit, char& value) {
  std::uint8_t byte = 0;
  if (!read_u8(buffer, cursor, limit, byte)) return false;
  value = static_cast<char>(byte);
  return true;
}

// The 37-byte fixed part, field by field, so that a cut chunk keeps every
// value read before the cut.
bool read_material_fixed(Bytes buffer, std::int32_t& cursor, std::int32_t limit, Material& m) {
  return read_u16(buffer, cursor, limit, m.number) && read_char(buffer, cursor, limit, m.shader) &&
         read_char(buffer, cursor, limit, m.facet) && read_u8(buffer, cursor, limit, m.autofacetAngle) &&
         read_f32(buffer, cursor, limit, m.red) && read_f32(buffer, cursor, limit, m.green) &&
         read_f32(buffer, cursor, limit, m.blue) && read_f32(buffer, cursor, limit, m.alpha) &&
         read_f32(buffer, cursor, limit, m.ambient) && read_f32(buffer, cursor, limit, m.specular) &&
         read_f32(buffer, cursor, limit, m.exponent) && read_f32(buffer, cursor, limit, m.refraction);
}

// Reads floats one by one; a failed read leaves the rest unchanged.
bool read_floats(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::initializer_list<float*> values) {
  for (float* value : values) {
    if (!read_f32(buffer, cursor, limit, *value)) return false;
  }
  return true;
}

// The map name: the characters are copied only when all of them are in the
// buffer; otherwise the name stays empty (but present). The copy ends at the
// first NUL byte, as the terminated text would.
bool read_map_name(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::int16_t length,
                   std::optional<std::string>& name) {
  name.emplace();
  if (length > bytes_left(buffer, cursor, limit)) return false;  // nothing is made for a name not there
  std::string text(static_cast<std::size_t>(length), '\0');
  if (!read_bytes(buffer, cursor, limit, reinterpret_cast<std::uint8_t*>(text.data()), length)) return false;
  text.resize(std::strlen(text.c_str()));
  name = std::move(text);
  return true;
}

// One optional map record; false ends the record loop.
bool read_map_record(Bytes buffer, std::int32_t& cursor, std::int32_t limit, Material& m) {
  std::uint8_t kind = 0, second = 0, flags = 0;
  std::uint16_t rawLength = 0;
  if (!read_u8(buffer, cursor, limit, kind) || !read_u8(buffer, cursor, limit, second) ||
      !read_u8(buffer, cursor, limit, flags) || !read_u16(buffer, cursor, limit, rawLength)) {
    return false;
  }
  const auto length = static_cast<std::int16_t>(rawLength);
  switch (kind) {
    case 'e':
      m.envFlags = flags;
      return length >= 0 && read_map_name(buffer, cursor, limit, length, m.envMap);
    case 't':
      m.textureFlags = flags;
      return length >= 0 && read_map_name(buffer, cursor, limit, length, m.textureMap) &&
             read_floats(buffer, cursor, limit, {&m.texOffsetU, &m.texOffsetV, &m.texRepeatU, &m.texRepeatV});
    case 'b':
      m.bumpFlags = flags;
      return length >= 0 && read_map_name(buffer, cursor, limit, length, m.bumpMap) &&
             read_floats(buffer, cursor, limit,
                         {&m.bumpOffsetU, &m.bumpOffsetV, &m.bumpRepeatU, &m.bumpRepeatV, &m.bumpAmplitude});
    default:
      return false;
  }
}

}  // namespace

bool read_material(std::vector<Material>& materials, Bytes buffer, std::int32_t& cursor, std::int32_t limit,
                   std::int32_t chunkId, std::int64_t chunkEnd) {
  Material& material = materials.emplace_back();
  material.chunkId = chunkId;
  const bool fixedRead = read_material_fixed(buffer, cursor, limit, material);
  // Records follow while more than a record head's worth of chunk is left; a
  // record that cannot be read ends the loop. Up to 5 trailing bytes are
  // padding, so success depends on where the cursor stopped.
  while (cursor + kMapRecordHead < chunkEnd) {
    if (!read_map_record(buffer, cursor, limit, material)) break;
  }
  return fixedRead && cursor + kMapRecordHead >= chunkEnd;
}

bool read_vertex_colours(Bytes buffer, std::int32_t& cursor, std::int32_t limit, PolygonObject& object) {
  std::int32_t entries = 0;
  if (!read_i32(buffer, cursor, limit, entries) || entries < 0 || entries > object.faceCount) return false;
  for (std::int32_t e = 0; e < entries; ++e) {
    std::int32_t faceIndex = 0, colours = 0;
    if (!read_i32(buffer, cursor, limit, faceIndex) || !read_i32(buffer, cursor, limit, colours)) return false;
    if (faceIndex < 0 || faceIndex >= object.faceCount || colours < 0) return false;
    if (static_cast<std::size_t>(faceIndex) >= object.faces.size()) return false;
    PolyFace& face = object.faces[static_cast<std::size_t>(faceIndex)];
    // Colours beyond the face's corners are read and dropped.
    for (std::int32_t n = 0; n < colours; ++n) {
      std::int32_t colour = 0;
      if (!read_i32(buffer, cursor, limit, colour)) return false;
      if (static_cast<std::size_t>(n) < face.corners.size()) face.corners[n].colour = static_cast<std::uint32_t>(colour);
    }
  }
  return true;
}

}  // namespace facetor
