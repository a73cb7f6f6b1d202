// The scene tree that the loader builds from a COB file for the RWX
// conversion: group nodes under "Root_0", each with its polygon objects, and
// each polygon object with its vertices, texture coordinates, faces,
// materials, vertex colours and skeleton data. Lists keep file order.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "cob/container.h"
#include "io/large_block.h"
#include "io/out_stream.h"

namespace facetor {

// The loader's fixed name buffers, terminator included: scene-tree names and
// the working buffer of the skeleton chunks.
inline constexpr std::size_t kSceneNameCapacity = 200;     // 199 characters
inline constexpr std::size_t kSkeletonNameCapacity = 500;  // 499 characters

struct FaceCorner {
  std::int32_t vertexIndex = 0;
  std::int32_t uvIndex = 0;
};

// A face by value. Its corners stay where the file holds them: cornerCount
// records from cornerOffset on in the input buffer, so that a face costs no
// allocation and its corners no copy. firstCorner numbers its first corner
// among all corners of the object, in face order.
struct PolyFace {
  std::uint8_t flags = 0;  // 0x08: the face is a hole
  std::int16_t cornerCount = 0;
  std::uint16_t materialIndex = 0;
  std::uint32_t firstCorner = 0;
  std::uint32_t cornerOffset = 0;
};

// The corners of one face, decoded from their records in the input buffer
// (vertex index and texture coordinate index, little-endian 32 bits each).
class FaceCorners {
 public:
  static constexpr std::size_t kRecordSize = 8;
  FaceCorners(const std::uint8_t* records, std::size_t count) : records_(records), count_(count) {}
  std::size_t size() const { return count_; }
  FaceCorner operator[](std::size_t i) const {
    const std::uint8_t* record = records_ + kRecordSize * i;
    return FaceCorner{static_cast<std::int32_t>(u32_at(record)), static_cast<std::int32_t>(u32_at(record + 4))};
  }
  struct Iterator {
    const FaceCorners* corners;
    std::size_t at;
    FaceCorner operator*() const { return (*corners)[at]; }
    Iterator& operator++() {
      ++at;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return at != other.at; }
  };
  Iterator begin() const { return Iterator{this, 0}; }
  Iterator end() const { return Iterator{this, count_}; }

 private:
  const std::uint8_t* records_;
  std::size_t count_;
};

// Floats that stay where the file holds them in the input buffer
// (little-endian 32 bits each), so that a list costs no allocation and its
// values no copy.
class FloatList {
 public:
  FloatList() = default;
  FloatList(const std::uint8_t* values, std::size_t count) : values_(values), count_(count) {}
  std::size_t size() const { return count_; }
  float operator[](std::size_t i) const { return f32_at(values_ + 4 * i); }
  Bytes bytes() const { return Bytes(values_, 4 * count_); }

 private:
  const std::uint8_t* values_ = nullptr;
  std::size_t count_ = 0;
};

struct Material {
  std::uint16_t number = 0;
  char shader = 0;
  char facet = 0;
  std::uint8_t autofacetAngle = 0;
  float red = 0, green = 0, blue = 0, alpha = 0;
  float ambient = 0, specular = 0, exponent = 0, refraction = 0;
  std::uint8_t envFlags = 0;
  std::optional<std::string> envMap;
  std::uint8_t textureFlags = 0;
  std::optional<std::string> textureMap;
  float texOffsetU = 0, texOffsetV = 0, texRepeatU = 0, texRepeatV = 0;
  std::uint8_t bumpFlags = 0;
  std::optional<std::string> bumpMap;
  float bumpOffsetU = 0, bumpOffsetV = 0, bumpRepeatU = 0, bumpRepeatV = 0, bumpAmplitude = 0;
  std::int32_t chunkId = 0;
};

struct BoneRecord {
  std::uint8_t joint = 0;
  std::uint8_t parentJoint = 0;
  float origin[3] = {0, 0, 0};
  float pivot[3] = {0, 0, 0};
};

struct JointLink {
  std::uint8_t joint = 0;
  std::uint16_t linkedJoints = 0;  // low byte: linked object 1, high byte: object 2
};

struct PolygonObject {
  std::string name;
  LocalAxes axes{};
  Matrix3x4 position{};
  // Counts as read (a failed list leaves its count 0 or -1 and its list
  // empty); the lists hold exactly the entries that were read. The vertex
  // and texture coordinate lists, and the faces' corners, lie in the input
  // buffer, which outlives the scene (mode R's build spends them: see
  // build_mesh).
  std::int32_t vertexCount = 0;
  FloatList vertices;  // x, y, z per vertex
  // One per vertex (low byte first joint, high byte second), or empty while
  // no Skin chunk has given a vertex its joints.
  LargeVector<std::uint16_t> vertexJoints;
  std::vector<BoneRecord> bones;
  std::vector<JointLink> jointLinks;
  // Per joint number, the position in jointLinks of its first link plus 1 (0:
  // none), so that a tendon Skin finds its link without a scan.
  std::vector<std::uint32_t> firstLinkOfJoint;
  std::int32_t uvCount = 0;
  FloatList uvs;  // u, v per entry
  std::int32_t faceCount = 0;
  LargeVector<PolyFace> faces;
  std::size_t cornerTotal = 0;  // of all faces
  Bytes source;  // the input buffer that the faces' corners lie in
  // The bytes of the input buffer that hold the vertex, texture coordinate
  // and face lists (as far as they were read): all that the conversion reads
  // of the buffer for this object.
  Bytes lists;
  // Vertex colours, one per corner (byte 0 red, byte 1 green, byte 2 blue; 0
  // = none); empty while the object has no vertex colours.
  LargeVector<std::uint32_t> cornerColours;
  std::int32_t chunkId = 0;
  std::vector<Material> materials;
  std::uint16_t hidden = 0;  // bit 0x08: the object is left out of the conversion
};

// The corners of a face of object.
inline FaceCorners corners_of(const PolygonObject& object, const PolyFace& face) {
  const std::size_t count = face.cornerCount > 0 ? static_cast<std::size_t>(face.cornerCount) : 0;
  return FaceCorners(object.source.data() + face.cornerOffset, count);
}

// The vertex colour of corner number c (0: none).
inline std::uint32_t corner_colour(const PolygonObject& object, std::size_t c) {
  return c < object.cornerColours.size() ? object.cornerColours[c] : 0;
}

// The local axes and current position of a Grou or MBal node.
struct NodePlacement {
  LocalAxes axes{};
  Matrix3x4 position{};
};

// A node costs what its chunk holds: the root and Scen nodes, which carry no
// placement (zero axes and position), keep none.
struct SceneNode {
  std::string name;
  std::unique_ptr<NodePlacement> placement;  // Grou and MBal nodes only
  std::int32_t chunkId = 0;
  std::vector<std::unique_ptr<PolygonObject>> objects;
  std::vector<std::unique_ptr<SceneNode>> children;  // firstChild = children.front(), then its siblings
  ~SceneNode();  // releases deep trees without deep recursion
};

// Loads the scene tree of a binary COB file; buffer must outlive the tree. Returns null when the header
// check fails (its warning is printed on the console with the source name).
// Once the root exists it is returned, however early the chunk loop stopped.
std::unique_ptr<SceneNode> load_scene(Bytes buffer, OutStream& console,
                                      const std::string& sourceName);

// Ends the life of a scene tree.
void free_scene(std::unique_ptr<SceneNode> root);

}  // namespace facetor
