#include <cstdint>
#include <memory>
#include <vector>

#include "cob/scene_readers.h"
#include "io/release.h"

namespace facetor {
namespace {

constexpr std::uint8_t kHoleFlag = 0x08;
constexpr std::int64_t kSmallestFace = 3;  // flags and corner count

// A count and that many entries of perEntry floats, left in the buffer. A
// count whose entries cannot fit in the bytes left fails.
std::int32_t read_float_list(Reader& r, FloatList& values, std::int32_t perEntry) {
  values = FloatList{};
  std::int32_t count = 0;
  if (!read_i32(r, count)) return -1;
  if (count == 0) return 0;
  const std::int64_t floats = static_cast<std::int64_t>(count) * perEntry;
  const std::int32_t first = r.at;
  if (count < 0 || !skip_bytes(r, floats * 4)) return -1;
  values = FloatList(r.buffer.data() + first, static_cast<std::size_t>(floats));
  return count;
}

// The face's corner records are left in the buffer: the face notes where
// they start, and the reader passes over them.
bool read_corners(Reader& r, PolyFace& face) {
  face.cornerOffset = static_cast<std::uint32_t>(r.at);
  return face.cornerCount >= 0 && skip_bytes(r, face.cornerCount * std::int64_t{FaceCorners::kRecordSize});
}

bool read_face_head(Reader& r, PolyFace& face) {
  std::uint16_t corners = 0;
  if (!read_u8(r, face.flags) || !read_u16(r, corners)) return false;
  face.cornerCount = static_cast<std::int16_t>(corners);
  return (face.flags & kHoleFlag) != 0 || read_u16(r, face.materialIndex);
}

}  // namespace

std::int32_t read_vertex_list(Reader& r, FloatList& vertices) {
  return read_float_list(r, vertices, 3);
}

std::int32_t read_uv_list(Reader& r, FloatList& uvs) {
  return read_float_list(r, uvs, 2);
}

std::int32_t read_face_list(Reader& r, LargeVector<PolyFace>& faces, std::size_t& cornerTotal) {
  faces.clear();
  cornerTotal = 0;
  std::int32_t count = 0;
  if (!read_i32(r, count)) return -1;
  if (count == 0) return 0;
  if (count < 0 || count * kSmallestFace > bytes_left(r)) return -1;
  faces.reserve(static_cast<std::size_t>(count));
  for (std::int32_t i = 0; i < count; ++i) {
    PolyFace& face = faces.emplace_back();
    face.firstCorner = static_cast<std::uint32_t>(cornerTotal);
    if (!read_face_head(r, face) || !read_corners(r, face)) {
      release_storage(faces);
      cornerTotal = 0;
      return -1;
    }
    cornerTotal += static_cast<std::size_t>(face.cornerCount);
  }
  return count;
}

namespace {

// The vertex, texture coordinate and face lists, one after another.
bool read_lists(Reader& r, PolygonObject& object) {
  // An object needs at least one vertex.
  object.vertexCount = read_vertex_list(r, object.vertices);
  if (object.vertexCount <= 0) return false;
  object.uvCount = read_uv_list(r, object.uvs);
  if (object.uvCount < 0) return false;
  object.faceCount = read_face_list(r, object.faces, object.cornerTotal);
  return object.faceCount >= 0;
}

}  // namespace

bool read_polygon_object(std::vector<std::unique_ptr<PolygonObject>>& objects, Reader& r, std::int32_t chunkId) {
  PolygonObject& object = *objects.emplace_back(std::make_unique<PolygonObject>());
  object.chunkId = chunkId;
  object.source = r.buffer;
  if (!read_name(r, object.name, kSceneNameCapacity) ||
      !read_axes(r, object.axes) || !read_matrix(r, object.position)) {
    return false;
  }
  const std::int32_t start = r.at;
  const bool read = read_lists(r, object);
  object.lists = r.buffer.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(r.at - start));
  return read;
}

}  // namespace facetor
