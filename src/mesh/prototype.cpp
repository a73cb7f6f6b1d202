#include <algorithm>
#include <limits>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

// The joint number of "moveall", the root of every joint table.
constexpr std::uint8_t kRootJoint = 82;

bool valid_index(const Prototype& proto, std::int32_t index) {
  return index >= 0 && static_cast<std::size_t>(index) < proto.vertices.size();
}

// The capacity after the specified doubling (100, 200, 400, ...), held below
// the largest vertex count an index can express.
std::int32_t grown_capacity(std::int32_t capacity) {
  constexpr std::int32_t kLimit = std::numeric_limits<std::int32_t>::max();
  if (capacity <= 0) return 100;
  return capacity > kLimit / 2 ? kLimit : capacity * 2;
}

}  // namespace

PrototypeRef proto_new(const std::optional<std::string>& name) {
  auto proto = std::make_shared<Prototype>();
  proto->name = name;
  proto->vertices.reserve(static_cast<std::size_t>(proto->vertexCapacity));
  return proto;
}

std::int32_t proto_vertex_count(const Prototype& proto) { return static_cast<std::int32_t>(proto.vertices.size()); }

std::int32_t proto_face_count(const Prototype& proto) { return static_cast<std::int32_t>(proto.faces.size()); }

std::int32_t proto_add_vertex(Prototype& proto, float x, float y, float z) {
  const std::int32_t count = proto_vertex_count(proto);
  if (count >= proto.vertexCapacity) {
    const std::int32_t capacity = grown_capacity(proto.vertexCapacity);
    proto.vertices.reserve(static_cast<std::size_t>(capacity));
    proto.vertexCapacity = capacity;
  }
  MeshVertex vertex;
  vertex.x = x;
  vertex.y = y;
  vertex.z = z;
  proto.vertices.push_back(vertex);
  return count;
}

void proto_set_uv(Prototype& proto, std::int32_t index, float u, float v) {
  if (!valid_index(proto, index)) return;
  MeshVertex& vertex = proto.vertices[static_cast<std::size_t>(index)];
  vertex.u = u;
  vertex.v = v;
  if (u != 0 || v != 0) proto.hasUV = 1;
}

// Indices outside the array are ignored rather than written past its end.
void proto_set_prelight(Prototype& proto, std::int32_t index, std::uint8_t red, std::uint8_t green,
                        std::uint8_t blue) {
  if (!valid_index(proto, index)) return;
  MeshVertex& vertex = proto.vertices[static_cast<std::size_t>(index)];
  vertex.red = red;
  vertex.green = green;
  vertex.blue = blue;
  if (red != 0 || green != 0 || blue != 0) proto.hasPrelight = 1;
}

void proto_add_use(Prototype& proto, std::int32_t index) {
  if (!valid_index(proto, index)) return;
  std::uint32_t& uses = proto.vertices[static_cast<std::size_t>(index)].useCount;
  if (uses < std::numeric_limits<std::uint32_t>::max()) ++uses;
}

void proto_set_bone_tags(Prototype& proto, std::int32_t index, int count, const std::uint8_t* tags) {
  if (!valid_index(proto, index)) return;
  MeshVertex& vertex = proto.vertices[static_cast<std::size_t>(index)];
  for (int i = 0; i < 4; ++i) vertex.boneTags[i] = (tags != nullptr && i < count) ? tags[i] : 0;
}

void proto_set_lit(Prototype& proto, std::uint8_t flag) { proto.litTextures = flag; }

void proto_set_wireframe(Prototype& proto, std::uint8_t flag) { proto.wireframe = flag; }

void proto_mark_textured(Prototype& proto) { proto.hasUV = 1; }

void proto_set_joint(Prototype& proto, std::int32_t number) { proto.joint = number; }

void proto_add_face(Prototype& proto, std::unique_ptr<MeshFace> face) {
  if (face) proto.faces.push_front(std::move(face));
}

std::int32_t proto_add_joint(Prototype& proto, std::uint8_t tag, std::uint8_t parentTag, const float* pivot) {
  if (proto.joints.empty()) {
    proto.joints.push_back(JointEntry{kRootJoint, 0, 0, 0, 0});
    if (parentTag == 0) parentTag = kRootJoint;
  }
  JointEntry entry{tag, parentTag, 0, 0, 0};
  if (pivot != nullptr) {
    entry.x = pivot[0];
    entry.y = pivot[1];
    entry.z = pivot[2];
  }
  proto.joints.push_back(entry);
  return static_cast<std::int32_t>(proto.joints.size());
}

// Moves the used vertices down in order and renumbers the corners. A corner
// that names an unused or missing vertex is a builder fault; it is given an
// index past the end, which the writer reports as vertex 0, instead of
// silently naming another vertex.
void proto_compact(Prototype& proto) {
  const std::size_t count = proto.vertices.size();
  std::size_t used = 0;
  for (const MeshVertex& vertex : proto.vertices) used += vertex.useCount > 0 ? 1 : 0;
  if (used == count) return;

  constexpr std::uint32_t kGone = std::numeric_limits<std::uint32_t>::max();
  std::vector<std::uint32_t> newIndex(count, kGone);
  std::size_t next = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (proto.vertices[i].useCount == 0) continue;
    proto.vertices[next] = proto.vertices[i];
    newIndex[i] = static_cast<std::uint32_t>(next++);
  }
  for (auto& face : proto.faces) {
    for (std::uint32_t& corner : face->corners) corner = corner < count ? newIndex[corner] : kGone;
  }
  proto.vertices.resize(used);
}

void proto_copy_for_split(Prototype& target, const Prototype& source) {
  if (target.vertexCapacity != source.vertexCapacity) {
    target.vertices = std::vector<MeshVertex>();
    target.vertices.reserve(static_cast<std::size_t>(std::max(source.vertexCapacity, 0)));
    target.vertexCapacity = source.vertexCapacity;
  }
  target.vertices.assign(source.vertices.begin(), source.vertices.end());
  for (MeshVertex& vertex : target.vertices) vertex.useCount = 0;
  target.litTextures = source.litTextures;
  target.wireframe = source.wireframe;
  target.hasUV = source.hasUV;
  target.hasPrelight = source.hasPrelight;
  target.joint = source.joint;
}

std::unique_ptr<MeshFace> face_new(std::int32_t cornerCount, const SurfaceRef& surface) {
  auto face = std::make_unique<MeshFace>();
  face->cornerCount = std::max(cornerCount, 0);
  face->corners.assign(static_cast<std::size_t>(face->cornerCount), 0);
  face->surface = surface;
  return face;
}

void face_set_corner(MeshFace& face, std::int32_t i, std::uint32_t index) {
  if (i < 0 || static_cast<std::size_t>(i) >= face.corners.size()) return;
  face.corners[static_cast<std::size_t>(i)] = index;
}

std::uint32_t face_get_corner(const MeshFace& face, std::int32_t i) {
  if (i < 0 || static_cast<std::size_t>(i) >= face.corners.size()) return 0;
  return face.corners[static_cast<std::size_t>(i)];
}

}  // namespace facetor
