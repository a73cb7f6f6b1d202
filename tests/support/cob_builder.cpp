#include "support/cob_builder.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace facetor::test {

Data polh(std::string_view name, const std::vector<Vec3>& vertices, const std::vector<Vec2>& uvs,
          const std::vector<Face>& faces, Vec3 centre, Vec3 translation, std::uint16_t duplicate) {
  Data data;
  data.name(name, duplicate).axes(centre).matrix(translation).i32(static_cast<std::int32_t>(vertices.size()));
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

Data mat1(const MaterialFields& m) {
  Data data;
  data.u16(m.number).u8(static_cast<std::uint8_t>(m.shader)).u8(static_cast<std::uint8_t>(m.facet)).u8(m.autofacetAngle);
  data.floats({m.red, m.green, m.blue, m.alpha, m.ambient, m.specular, m.exponent, m.refraction});
  for (const MapRecord& map : m.maps) {
    data.u8(static_cast<std::uint8_t>(map.kind)).u8(0).u8(map.flags).str(map.name);
    for (float value : map.placement) data.f32(value);
  }
  return data;
}

CobFile& CobFile::chunk_sized(std::string_view type, std::int32_t id, std::int32_t parent, const Data& data,
                              std::int32_t declaredSize, std::int16_t major, std::int16_t minor) {
  std::string four(type.substr(0, 4));
  four.resize(4, ' ');
  return raw(Data{}.raw(four).i16(major).i16(minor).i32(id).i32(parent).i32(declaredSize).bytes).raw(data.bytes);
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
