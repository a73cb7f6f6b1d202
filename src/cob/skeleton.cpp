#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>

#include "cob/scene_readers.h"
#include "joints/joint_names.h"
#include "io/text.h"

namespace facetor {
namespace {

constexpr std::string_view kTendonMark = ">tendon";

// The degree-of-freedom mask bits, in file order: pitch, yaw, roll, then the
// X, Y and Z translations (bit 0x0008 selects nothing).
constexpr std::uint16_t kFreedomBits[] = {0x0001, 0x0002, 0x0004, 0x0010, 0x0020, 0x0040};
constexpr std::int32_t kJoinDirectionFloats = 21;  // seven triples: connectors, axes and directions

// Appends a joint link and records it when it is the first of its joint.
JointLink& add_joint_link(PolygonObject& object, std::uint8_t joint) {
  std::vector<std::uint32_t>& first = object.firstLinkOfJoint;
  if (first.size() <= joint) first.resize(std::size_t{joint} + 1, 0);
  if (first[joint] == 0) first[joint] = static_cast<std::uint32_t>(object.jointLinks.size() + 1);
  JointLink& link = object.jointLinks.emplace_back();
  link.joint = joint;
  return link;
}

// The first joint link of a joint, as a scan of jointLinks in order finds it.
const JointLink* first_link_of(const PolygonObject& object, std::uint8_t joint) {
  const std::vector<std::uint32_t>& first = object.firstLinkOfJoint;
  if (joint >= first.size() || first[joint] == 0) return nullptr;
  return &object.jointLinks[first[joint] - 1];
}

// The value that a Skin chunk assigns to its vertices, or none when it assigns
// nothing (no joint name, or a tendon without a joint link for its joint).
std::optional<std::uint16_t> skin_value(const std::string& skinName, const PolygonObject& object) {
  std::string name = lowered_ascii(skinName);
  const bool tendon = name.find(kTendonMark) != std::string::npos;
  const std::size_t mark = name.find('>');
  if (mark != std::string::npos) name.resize(mark);
  const std::int32_t joint = joint_from_name(name);
  if (joint == 0) return std::nullopt;
  if (!tendon) return static_cast<std::uint8_t>(joint);
  const JointLink* link = first_link_of(object, static_cast<std::uint8_t>(joint));
  if (!link) return std::nullopt;
  return link->linkedJoints;
}

// Reads the Join data up to the linked object names: the centre of the local
// axes is kept, everything else is read over.
bool read_joint_body(Reader& r, std::string& name, float centre[3]) {
  LocalAxes axes{};
  Matrix3x4 position{};
  float directions[kJoinDirectionFloats];
  std::uint16_t mask = 0;
  if (!read_name(r, name, kSkeletonNameCapacity) || !read_axes(r, axes) ||
      !read_matrix(r, position) ||
      !read_f32_array(r, directions, kJoinDirectionFloats) ||
      !read_u16(r, mask)) {
    return false;
  }
  for (std::uint16_t bit : kFreedomBits) {
    if ((mask & bit) == 0) continue;
    std::uint16_t value = 0;
    float limits[3];
    if (!read_u16(r, value) || !read_f32_array(r, limits, 3)) return false;
  }
  std::copy(axes.centre, axes.centre + 3, centre);
  return true;
}

}  // namespace

bool read_skin(Reader& r, PolygonObject& object) {
  std::string name;
  std::int32_t count = 0;
  if (!read_string(r, name, kSkeletonNameCapacity) || !read_i32(r, count)) {
    return false;
  }
  const std::optional<std::uint16_t> value = skin_value(name, object);
  if (!value) return true;
  for (std::int32_t i = 0; i < count; ++i) {
    std::int32_t vertex = 0;
    if (!read_i32(r, vertex)) return false;
    if (vertex < 0 || vertex >= object.vertexCount) return false;
    if (object.vertexJoints.empty()) object.vertexJoints.assign(static_cast<std::size_t>(object.vertexCount), 0);
    object.vertexJoints[static_cast<std::size_t>(vertex)] = *value;
  }
  return true;
}

bool read_joint(Reader& r, PolygonObject& target) {
  std::string name;
  float centre[3] = {0, 0, 0};
  if (!read_joint_body(r, name, centre)) return false;
  const std::int32_t joint = joint_from_name(name);
  if (joint == 0) return true;
  JointLink& link = add_joint_link(target, static_cast<std::uint8_t>(joint));

  std::uint8_t linked[2] = {0, 0};
  for (int end = 0; end < 2; ++end) {
    if (!read_string(r, name, kSkeletonNameCapacity)) return false;
    linked[end] = static_cast<std::uint8_t>(joint_from_name(name));
    if (linked[end] == 0) return true;  // the link keeps what it has
    link.linkedJoints = static_cast<std::uint16_t>(link.linkedJoints | (linked[end] << (8 * end)));
  }
  // The joint makes the bone of its second object a child of its first.
  for (BoneRecord& bone : target.bones) {
    if (bone.joint != linked[1]) continue;
    bone.parentJoint = linked[0];
    std::copy(centre, centre + 3, bone.pivot);
    break;
  }
  return true;
}

bool read_bone(Reader& r, PolygonObject& target) {
  std::string name;
  LocalAxes axes{};
  Matrix3x4 position{};
  if (!read_name(r, name, kSkeletonNameCapacity) || !read_axes(r, axes) ||
      !read_matrix(r, position)) {
    return false;
  }
  const std::int32_t joint = joint_from_name(name);
  if (joint == 0) return true;
  const auto number = static_cast<std::uint8_t>(joint);
  // The first Bone chunk for a joint wins.
  const bool known = std::any_of(target.bones.begin(), target.bones.end(),
                                 [&](const BoneRecord& bone) { return bone.joint == number; });
  if (known) return true;
  BoneRecord& bone = target.bones.emplace_back();
  bone.joint = number;
  std::copy(axes.centre, axes.centre + 3, bone.origin);
  return true;
}

}  // namespace facetor
