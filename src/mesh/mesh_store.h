// The mesh store: what the conversion makes out of the scene tree before and
// while it is written as RWX text. Prototypes with their vertices, faces,
// joint tables and transforms; the surface states that faces share; and the
// converted model tree of ModelNode records.
//
// Lists of the store are extended at the head, so index 0 of `faces`,
// `protos` and `children` is always the newest entry, the order in which the
// writers walk them.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace facetor {

// Row-vector affine transform: rows m0..m2, m3..m5, m6..m8 are the images of
// the x, y and z axes; translation is added after them.
struct Transform {
  float m[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
  float translation[3] = {0, 0, 0};
};

Transform transform_identity();
void transform_copy(Transform& target, const Transform& source);
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
void surface_set_lighting(SurfaceState& state, float ambient, float diffuse);
void surface_set_light_sampling(SurfaceState& state, std::uint8_t value);
void surface_set_mipmap(SurfaceState& state, std::uint8_t value);
void surface_set_address_mode(SurfaceState& state, std::uint8_t value);
void surface_set_names(SurfaceState& state, const std::optional<std::string>& texture,
                       const std::optional<std::string>& mask);
int surface_is_translucent(const SurfaceState& state);
int surface_equal(const SurfaceState* a, const SurfaceState* b);
// Texture or mask names as surface states compare them: both absent, or both
// present and equal ignoring ASCII case.
int texture_names_equal(const std::optional<std::string>& a, const std::optional<std::string>& b);

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
  std::uint32_t useCount = 0;  // kept in full: no wrap-around at 65,536
  std::uint8_t boneTags[4] = {0, 0, 0, 0};
};

struct MeshFace {
  std::int32_t cornerCount = 0;
  std::vector<std::uint32_t> corners;  // vertex indices, kept in full (32 bits)
  SurfaceRef surface;                  // shared; may be absent
};

std::unique_ptr<MeshFace> face_new(std::int32_t cornerCount, const SurfaceRef& surface);
void face_set_corner(MeshFace& face, std::int32_t i, std::uint32_t index);
std::uint32_t face_get_corner(const MeshFace& face, std::int32_t i);

struct JointEntry {
  std::int32_t tag = 0;
  std::int32_t parentTag = 0;
  float x = 0, y = 0, z = 0;
};

struct Prototype {
  std::optional<std::string> name;  // none for continuation prototypes
  std::int32_t joint = 0;
  std::uint8_t litTextures = 1;
  std::uint8_t wireframe = 0;
  std::uint8_t hasUV = 0;
  std::uint8_t hasPrelight = 0;
  Transform transform;
  std::int32_t vertexCapacity = 100;   // doubles when full: 100, 200, 400, ...
  std::vector<MeshVertex> vertices;    // size() is the vertex count
  std::deque<std::unique_ptr<MeshFace>> faces;  // newest first
  std::vector<JointEntry> joints;      // root entry first once any is added
};
using PrototypeRef = std::shared_ptr<Prototype>;

PrototypeRef proto_new(const std::optional<std::string>& name);
std::int32_t proto_vertex_count(const Prototype& proto);
std::int32_t proto_face_count(const Prototype& proto);
// Returns the new vertex's index.
std::int32_t proto_add_vertex(Prototype& proto, float x, float y, float z);
void proto_set_uv(Prototype& proto, std::int32_t index, float u, float v);
void proto_set_prelight(Prototype& proto, std::int32_t index, std::uint8_t red, std::uint8_t green,
                        std::uint8_t blue);
void proto_add_use(Prototype& proto, std::int32_t index);
void proto_set_bone_tags(Prototype& proto, std::int32_t index, int count, const std::uint8_t* tags);
void proto_set_lit(Prototype& proto, std::uint8_t flag);
void proto_set_wireframe(Prototype& proto, std::uint8_t flag);
void proto_mark_textured(Prototype& proto);
void proto_set_joint(Prototype& proto, std::int32_t number);
void proto_add_face(Prototype& proto, std::unique_ptr<MeshFace> face);
// Appends {tag, parentTag, pivot}; the first append also makes the root entry
// {82, 0, 0 0 0} and turns a parentTag of 0 into 82. Returns the new count.
std::int32_t proto_add_joint(Prototype& proto, std::uint8_t tag, std::uint8_t parentTag, const float* pivot);
void proto_compact(Prototype& proto);
void proto_copy_for_split(Prototype& target, const Prototype& source);

struct ModelNode {
  std::int32_t collision = 1;
  bool opacityFix = false;
  std::deque<PrototypeRef> protos;                  // newest first
  std::deque<std::unique_ptr<ModelNode>> children;  // newest first (children.front() is firstChild)
  ~ModelNode();  // releases deep trees without deep recursion
};

std::unique_ptr<ModelNode> node_create();
// The child goes to the head of the parent's children; returns it.
ModelNode* node_add_child(ModelNode& parent, std::unique_ptr<ModelNode> child);
void node_set_collision(ModelNode& node, std::int32_t value);
void node_set_opacity_fix(ModelNode& node, bool flag);
void node_free_tree(std::unique_ptr<ModelNode> root);

}  // namespace facetor
