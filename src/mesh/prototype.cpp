#include <utility>

#include "mesh/mesh_store.h"

namespace facetor {
namespace {

// The joint number of "moveall", which heads every prototype's joint table
// (not the limb numbering of the animation export).
constexpr std::uint8_t kJointTableRoot = 82;

}  // namespace

std::uint32_t proto_add_surface(Prototype& proto, SurfaceRef surface) {
  proto.surfaces.push_back(std::move(surface));
  return static_cast<std::uint32_t>(proto.surfaces.size() - 1);
}

void proto_add_face(Prototype& proto, std::span<const std::uint32_t> corners, std::uint32_t surface) {
  MeshFace face;
  face.firstCorner = static_cast<std::uint32_t>(proto.corners.size());
  face.cornerCount = static_cast<std::uint32_t>(corners.size());
  face.surface = surface;
  proto.corners.insert(proto.corners.end(), corners.begin(), corners.end());
  proto.faces.push_back(face);
}

std::int32_t proto_add_joint(Prototype& proto, std::uint8_t tag, std::uint8_t parentTag, const float* pivot) {
  if (proto.joints.empty()) {
    proto.joints.push_back(JointEntry{kJointTableRoot, 0, 0, 0, 0});
    if (parentTag == 0) parentTag = kJointTableRoot;
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

}  // namespace facetor
