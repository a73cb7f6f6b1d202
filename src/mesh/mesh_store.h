// The mesh store: what the conversion makes out of the scene tree before and
// while it is written as RWX text. Prototypes with their vertices, faces,
// joint tables and transforms; the surface states that faces share; and the
// converted model tree of ModelNode records.
//
// A prototype's faces are kept in the order they were added, by value, with
// their corners in one shared array; the writer walks them newest first. The
// lists of the model tree are kept in the order they were added too, and the
// hierarchy writer walks them newest first (from the back), as if each new
// entry had been put at the head.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace facetor {

// Row-vector affine transform: rows m0..m2, m3..m5, m6..m8 are the images of
// the x, y and z axes; translation is added after them.
struct Transform {
  float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  float translation[3] = {0, 0, 0};
};

// From a 3x4 matrix of three rows of four: row r of m is column r of the
// matrix, the translation is column 3.
void transform_from_matrix(Transform& target, const float (&rows)[3][4]);
// target = target x second, each sum formed term by term in single precision.
void compose_transform(Transform& target, const Transform& second);

struct SurfaceState {
  std::uint8_t lightSampling = 0;  // 1 Vertex, 0 Facet
  std::uint8_t mipmap = 1;
  std::uint8_t addressMode = 0;  // 1 Wrap, 2 Mirror, 3 Clamp
  std::uint8_t red = 0, green = 0, blue = 0;
  std::uint8_t opacity = 255;
  float ambient = 0;
  float diffuse = 0;
  std::optional<std::string> texture;  // after the extension rule
  std::optional<std::string> mask;     // after the extension rule
};
using SurfaceRef = std::shared_ptr<SurfaceState>;

SurfaceRef surface_new();
void surface_set_color(SurfaceState& state, float red, float green, float blue);
void surface_set_opacity(SurfaceState& state, float alpha);
void surface_set_names(SurfaceState& state, const std::optional<std::string>& texture,
                       const std::optional<std::string>& mask);
bool surface_is_translucent(const SurfaceState& state);
bool surface_equal(const SurfaceState* a, const SurfaceState* b);
// Texture or mask names as surface states compare them: both absent, or both
// present and equal ignoring ASCII case.
bool texture_names_equal(const std::optional<std::string>& a, const std::optional<std::string>& b);

// Colour and opacity bytes: float x 255.0 in double, truncated toward zero to
// 32 bits, low 8 bits kept; NaN, infinity or out-of-range products give 0.
std::uint8_t colour_byte(float value);

// The texture-name extension rule: "gif", "png", "tif", "emf", "wmf", "ico"
// (any case) after the last "." turn the "." into "_"; any other extension is
// cut off; a name without "." stays.
std::string apply_extension_rule(const std::string& name);

struct MeshVertex {
  float x = 0, y = 0, z = 0;
  float u = 0, v = 0;
  std::uint8_t red = 0, green = 0, blue = 0;  // prelight
  std::uint8_t boneTags[4] = {0, 0, 0, 0};
};

// One face: its corners are cornerCount vertex indices (32 bits, never cut
// to 16) from firstCorner on in the prototype's shared corner array; its
// surface state is entry `surface` of the prototype's surfaces.
struct MeshFace {
  std::uint32_t firstCorner = 0;
  std::uint32_t cornerCount = 0;
  std::uint32_t surface = 0;
};

struct JointEntry {
  std::int32_t tag = 0;
  std::int32_t parentTag = 0;
  float x = 0, y = 0, z = 0;
};

struct Prototype {
  std::optional<std::string> name;  // none for continuation prototypes
  std::int32_t joint = 0;
  bool litTextures = true;
  bool wireframe = false;
  bool hasUV = false;
  bool hasPrelight = false;
  Transform transform;
  std::vector<MeshVertex> vertices;
  std::vector<MeshFace> faces;          // in the order added; written newest first
  std::vector<std::uint32_t> corners;   // the corners of all faces, face by face
  std::vector<SurfaceRef> surfaces;     // the faces' surface states, each once (an entry may be absent)
  std::vector<JointEntry> joints;       // root entry first once any is added
};

// Appends a surface state for faces to name; returns its index.
std::uint32_t proto_add_surface(Prototype& proto, SurfaceRef surface);
// Appends a face with these corners and the surface state at that index.
void proto_add_face(Prototype& proto, std::span<const std::uint32_t> corners, std::uint32_t surface);
// The corners of one face.
inline std::span<const std::uint32_t> face_corners(const Prototype& proto, const MeshFace& face) {
  return std::span<const std::uint32_t>(proto.corners).subspan(face.firstCorner, face.cornerCount);
}
// The surface state of one face, or null.
inline const SurfaceState* face_surface(const Prototype& proto, const MeshFace& face) {
  return proto.surfaces[face.surface].get();
}
// Appends {tag, parentTag, pivot}; the first append also makes the root entry
// {82, 0, 0 0 0} and turns a parentTag of 0 into 82. Returns the new count.
std::int32_t proto_add_joint(Prototype& proto, std::uint8_t tag, std::uint8_t parentTag, const float* pivot);

// What the clump hierarchy needs of a written prototype.
struct ProtoInstance {
  std::string name;  // the cleaned name the prototype was written under
  std::int32_t joint = 0;
  float translation[3] = {0, 0, 0};
};

// A node costs what it holds: empty lists allocate nothing.
struct ModelNode {
  std::int32_t collision = 1;
  bool opacityFix = false;
  std::vector<ProtoInstance> protos;                 // oldest first: back() is the newest
  std::vector<std::unique_ptr<ModelNode>> children;  // oldest first: back() is firstChild
  ~ModelNode();  // releases deep trees without deep recursion
};

// The child becomes the parent's newest child (its firstChild); returns it.
ModelNode* node_add_child(ModelNode& parent, std::unique_ptr<ModelNode> child);

}  // namespace facetor
