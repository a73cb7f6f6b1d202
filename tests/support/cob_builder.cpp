#include "support/cob_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace facetor::test {

Face face(std::initializer_list<std::int32_t> corners, std::uint16_t material) {
  Face result;
  result.material = material;
  for (std::int32_t index : corners) result.corners.emplace_back(index, index);
  return result;
}

Face hole(std::initializer_list<std::int32_t> corners) {
  Face result = face(corners);
  result.flags = 0x08;
  return result;
}

Data polh(std::string_view name, const std::vector<Vec3>& vertices, const std::vector<Vec2>& uvs,
          const std::vector<Face>& faces, Vec3 centre, Vec3 translation, std::uint16_t duplicate) {
  Data data;
  data.name(name, duplicate).axes(centre).matrix(translation);
  data.i32(static_cast<std::int32_t>(vertices.size()));
  for (const Vec3& v : vertices) data.floats({v[0], v[1], v[2]});
  data.i32(static_cast<std::int32_t>(uvs.size()));
  for (const Vec2& uv : uvs) data.floats({uv[0], uv[1]});
  data.i32(static_cast<std::int32_t>(faces.size()));
  for (const Face& f : faces) {
    data.u8(f.flags).i16(static_cast<std::int16_t>(f.corners.size()));
    if ((f.flags & 0x08) == 0) data.u16(f.material);
    for (const auto& [vertex, uv] : f.corners) data.i32(vertex).i32(uv);
  }
  return data;
}

Data mat1(const MaterialSpec& m) {
  Data data;
  data.u16(m.number).u8(static_cast<std::uint8_t>(m.shader)).u8(static_cast<std::uint8_t>(m.facet)).u8(m.autofacetAngle);
  data.floats({m.red, m.green, m.blue, m.alpha, m.ambient, m.specular, m.exponent, m.refraction});
  for (const MapRecord& map : m.maps) {
    data.u8(static_cast<std::uint8_t>(map.kind)).u8(0).u8(map.flags).str(map.name);
    for (float value : map.placement) data.f32(value);
  }
  return data;
}

MapRecord texture_map(std::string name, std::uint8_t flags) {
  return MapRecord{'t', flags, std::move(name), {0, 0, 1, 1}};
}

CobFile::CobFile(char format) {
  const std::string header = std::string("Caligari V00.01") + format + "LH             \n";
  bytes.assign(header.begin(), header.end());
}

CobFile& CobFile::chunk(std::string_view type, std::int32_t id, std::int32_t parent, const Data& data,
                        std::int16_t major, std::int16_t minor) {
  return chunk_sized(type, id, parent, data, static_cast<std::int32_t>(data.size()), major, minor);
}

CobFile& CobFile::chunk_sized(std::string_view type, std::int32_t id, std::int32_t parent, const Data& data,
                              std::int32_t declaredSize, std::int16_t major, std::int16_t minor) {
  Data head;
  std::string four(type.substr(0, 4));
  four.resize(4, ' ');
  head.raw(four).i16(major).i16(minor).i32(id).i32(parent).i32(declaredSize);
  bytes.insert(bytes.end(), head.bytes.begin(), head.bytes.end());
  bytes.insert(bytes.end(), data.bytes.begin(), data.bytes.end());
  return *this;
}

CobFile& CobFile::end(std::int32_t id) { return chunk("END ", id, 0, Data{}); }

CobFile& CobFile::raw(const std::vector<std::uint8_t>& more) {
  bytes.insert(bytes.end(), more.begin(), more.end());
  return *this;
}

Data chan(std::string_view type, std::int16_t keyframes, const Data& records, std::string_view leading) {
  Data data;
  data.str(leading).str(type).u16(0).i16(keyframes).raw(records.bytes);
  return data;
}

namespace {
Data& unused16(Data& data) {
  for (int i = 0; i < 16; ++i) data.u8(0xEE);
  return data;
}
}  // namespace

Data rotate_keys(std::initializer_list<std::array<float, 5>> keys) {
  Data data;
  for (const auto& key : keys) unused16(data.f32(key[0])).floats({key[1], key[2], key[3], key[4]});
  return data;
}

Data move_keys(std::initializer_list<std::array<float, 4>> keys) {
  Data data;
  for (const auto& key : keys) unused16(data.f32(key[0])).floats({key[1], key[2], key[3]});
  return data;
}

void write_file(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  if (!file) throw std::runtime_error("cannot write " + path);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

}  // namespace facetor::test
