#include <cstdint>
#include <memory>
#include <vector>

#include "cob/scene_readers.h"

namespace facetor {
namespace {

constexpr std::uint8_t kHoleFlag = 0x08;
constexpr std::int64_t kSmallestFace = 3;  // flags and corner count
constexpr std::int64_t kCornerSize = 8;    // vertex index, texture coordinate index

// A count and that many entries of perEntry floats. A count whose entries
// cannot fit in the bytes left fails before anything is made for it.
std::int32_t read_float_list(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::vector<float>& values,
                             std::int32_t perEntry) {
  values.clear();
  std::int32_t count = 0;
  if (!read_i32(buffer, cursor, limit, count)) return -1;
  if (count == 0) return 0;
  const std::int64_t floats = static_cast<std::int64_t>(count) * perEntry;
  if (count < 0 || floats * 4 > bytes_left(buffer, cursor, limit)) return -1;
  values.resize(static_cast<std::size_t>(floats));
  if (!read_f32_array(buffer, cursor, limit, values.data(), static_cast<std::int32_t>(floats))) {
    values = {};
    return -1;
  }
  return count;
}

bool read_corners(Bytes buffer, std::int32_t& cursor, std::int32_t limit, PolyFace& face) {
  if (face.cornerCount == 0) return true;
  if (face.cornerCount < 0 || face.cornerCount * kCornerSize > bytes_left(buffer, cursor, limit)) return false;
  face.corners.resize(static_cast<std::size_t>(face.cornerCount));
  for (FaceCorner& corner : face.corners) {
    std::int32_t indices[2];
    if (!read_i32_array(buffer, cursor, limit, indices, 2)) return false;
    corner.vertexIndex = indices[0];
    corner.uvIndex = indices[1];
  }
  return true;
}

bool read_face(Bytes buffer, std::int32_t& cursor, std::int32_t limit, PolyFace& face) {
  std::uint16_t corners = 0;
  if (!read_u8(buffer, cursor, limit, face.flags) || !read_u16(buffer, cursor, limit, corners)) return false;
  face.cornerCount = static_cast<std::int16_t>(corners);
  if ((face.flags & kHoleFlag) == 0 && !read_u16(buffer, cursor, limit, face.materialIndex)) return false;
  return read_corners(buffer, cursor, limit, face);
}

}  // namespace

bool read_u8(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::uint8_t& value) {
  return read_bytes(buffer, cursor, limit, &value, 1);
}

std::int32_t read_vertex_list(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::vector<float>& vertices) {
  return read_float_list(buffer, cursor, limit, vertices, 3);
}

std::int32_t read_uv_list(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::vector<float>& uvs) {
  return read_float_list(buffer, cursor, limit, uvs, 2);
}

std::int32_t read_face_list(Bytes buffer, std::int32_t& cursor, std::int32_t limit, std::vector<PolyFace>& faces) {
  faces.clear();
  std::int32_t count = 0;
  if (!read_i32(buffer, cursor, limit, count)) return -1;
  if (count == 0) return 0;
  if (count < 0 || count * kSmallestFace > bytes_left(buffer, cursor, limit)) return -1;
  faces.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    if (!read_face(buffer, cursor, limit, faces.emplace_back())) {
      faces = {};
      return -1;
    }
  }
  return count;
}

bool read_polygon_object(std::vector<std::unique_ptr<PolygonObject>>& objects, Bytes buffer,
                         std::int32_t& cursor, std::int32_t limit, std::int32_t chunkId) {
  PolygonObject& object = *objects.emplace_back(std::make_unique<PolygonObject>());
  object.chunkId = chunkId;
  if (!read_name(buffer, cursor, limit, object.name, kSceneNameCapacity) ||
      !read_axes(buffer, cursor, limit, object.axes) || !read_matrix(buffer, cursor, limit, object.position)) {
    return false;
  }
  // An object needs at least one vertex.
  object.vertexCount = read_vertex_list(buffer, cursor, limit, object.vertices);
  if (object.vertexCount <= 0) return false;
  object.vertexJoints.assign(static_cast<std::size_t>(object.vertexCount), 0);
  object.uvCount = read_uv_list(buffer, cursor, limit, object.uvs);
  if (object.uvCount < 0) return false;
  object.faceCount = read_face_list(buffer, cursor, limit, object.faces);
  return object.faceCount >= 0;
}

}  // namespace facetor
