#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "cob/map_record.h"
#include "cob/scene_readers.h"
#include "io/text.h"

namespace facetor {
namespace {

constexpr std::int64_t kMapRecordHead = 5;  // kind, second byte, flags, name length

bool read_char(Reader& r, char& value) {
  std::uint8_t byte = 0;
  if (!read_u8(r, byte)) return false;
  value = static_cast<char>(byte);
  return true;
}

// The 37-byte fixed part, field by field, so that a cut chunk keeps every
// value read before the cut.
bool read_material_fixed(Reader& r, Material& m) {
  return read_u16(r, m.number) && read_char(r, m.shader) && read_char(r, m.facet) && read_u8(r, m.autofacetAngle) &&
         read_f32(r, m.red) && read_f32(r, m.green) && read_f32(r, m.blue) && read_f32(r, m.alpha) &&
         read_f32(r, m.ambient) && read_f32(r, m.specular) && read_f32(r, m.exponent) && read_f32(r, m.refraction);
}

// Reads floats one by one; a failed read leaves the rest unchanged.
bool read_floats(Reader& r, std::initializer_list<float*> values) {
  for (float* value : values) {
    if (!read_f32(r, *value)) return false;
  }
  return true;
}

// The flags and the name of a map record's kind; none for a kind the loader does not know.
struct MapSlot {
  std::uint8_t* flags = nullptr;
  std::optional<std::string>* name = nullptr;
};

MapSlot map_slot(Material& m, char kind) {
  switch (kind) {
    case 'e': return {&m.envFlags, &m.envMap};
    case 't': return {&m.textureFlags, &m.textureMap};
    case 'b': return {&m.bumpFlags, &m.bumpMap};
    default: return {};
  }
}

// One optional map record: its kind is checked before anything else of it is
// stored or read, then come the flags, the name (present but empty when its
// characters do not fit) and the placement. False ends the record loop.
bool read_material_map(Reader& r, Material& m) {
  MapRecordHead head;
  if (!read_map_head(r, head)) return false;
  const MapSlot slot = map_slot(m, head.kind);
  if (slot.flags == nullptr) return false;
  *slot.flags = head.flags;
  if (head.nameLength < 0) return false;
  std::string& name = slot.name->emplace();
  if (!read_map_name(r, head.nameLength, name)) return false;
  if (head.kind == 't') return read_floats(r, {&m.texOffsetU, &m.texOffsetV, &m.texRepeatU, &m.texRepeatV});
  if (head.kind == 'b') {
    return read_floats(r, {&m.bumpOffsetU, &m.bumpOffsetV, &m.bumpRepeatU, &m.bumpRepeatV, &m.bumpAmplitude});
  }
  return true;
}

}  // namespace

bool read_map_head(Reader& r, MapRecordHead& head) {
  std::uint8_t kind = 0, unused = 0;
  if (!read_u8(r, kind) || !read_u8(r, unused) || !read_u8(r, head.flags) || !read_i16(r, head.nameLength)) {
    return false;
  }
  head.kind = static_cast<char>(kind);
  return true;
}

bool read_map_name(Reader& r, std::int16_t length, std::string& name) {
  if (length < 0 || length > bytes_left(r)) return false;  // nothing is made for a name not there
  std::string chars(static_cast<std::size_t>(length), '\0');
  read_bytes(r, reinterpret_cast<std::uint8_t*>(chars.data()), length);
  name = cut_at_nul(chars);
  return true;
}

std::int32_t map_placement_size(char kind) { return kind == 't' ? 16 : kind == 'b' ? 20 : 0; }

std::string_view texture_file_name(std::string_view path) {
  path = cut_at_nul(path);
  const std::size_t separator = path.find_last_of("/\\");
  return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

bool read_material(std::vector<Material>& materials, Reader& r, std::int32_t chunkId, std::int64_t chunkEnd) {
  Material& material = materials.emplace_back();
  material.chunkId = chunkId;
  const bool fixedRead = read_material_fixed(r, material);
  // Records follow while more than a record head's worth of chunk is left; a
  // record that cannot be read ends the loop. Up to 5 trailing bytes are
  // padding, so success depends on where the cursor stopped.
  while (r.at + kMapRecordHead < chunkEnd) {
    if (!read_material_map(r, material)) break;
  }
  return fixedRead && r.at + kMapRecordHead >= chunkEnd;
}

bool read_vertex_colours(Reader& r, PolygonObject& object) {
  std::int32_t entries = 0;
  if (!read_i32(r, entries) || entries < 0 || entries > object.faceCount) return false;
  for (std::int32_t e = 0; e < entries; ++e) {
    std::int32_t faceIndex = 0, colours = 0;
    if (!read_i32(r, faceIndex) || !read_i32(r, colours)) return false;
    if (faceIndex < 0 || faceIndex >= object.faceCount || colours < 0) return false;
    if (static_cast<std::size_t>(faceIndex) >= object.faces.size()) return false;
    const PolyFace& face = object.faces[static_cast<std::size_t>(faceIndex)];
    const std::size_t cornerCount = corners_of(object, face).size();
    // Colours beyond the face's corners are read and dropped.
    for (std::int32_t n = 0; n < colours; ++n) {
      std::int32_t colour = 0;
      if (!read_i32(r, colour)) return false;
      if (static_cast<std::size_t>(n) >= cornerCount) continue;
      if (object.cornerColours.empty()) object.cornerColours.assign(object.cornerTotal, 0);
      object.cornerColours[face.firstCorner + static_cast<std::size_t>(n)] = static_cast<std::uint32_t>(colour);
    }
  }
  return true;
}

}  // namespace facetor
