#include "convert/mesh_builder.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <unordered_map>
#include <vector>

#include "convert/corner_table.h"
#include "convert/hole_bridge.h"

namespace facetor {
namespace {

constexpr float kTolerance = 1e-6f;
constexpr std::size_t kTextureNameLength = 399;
constexpr std::uint8_t kHoleFlag = 0x08;
constexpr std::size_t kLightSamplingVertices = 50;

bool is_hole(const PolyFace& face) { return (face.flags & kHoleFlag) != 0; }

bool has_texture_transform(const Material& material) {
  return material.texRepeatU != 0 || material.texRepeatV != 0;
}

float snap(float value) { return (value > -kTolerance && value < kTolerance) ? 0.0f : value; }

// The working state of one build_mesh call.
struct Builder {
  ConversionState& state;
  OutStream& console;
  const PolygonObject& object;
  const BuildOptions& options;
  std::unordered_map<std::uint16_t, const Material*> firstByNumber;
  std::int32_t materialCount = 0;
  CornerTable table;
  std::vector<std::size_t> faceStart;       // first corner of each face in cornerEntry
  std::vector<std::int32_t> cornerEntry;    // the entry of every face corner
  std::vector<std::uint32_t> polygon;       // working polygon of a run, entry indices
  std::vector<HoleCorners> holes;           // the holes of a run that have corners
  SurfaceRef fallbackSurface;
};

// The first material of the list whose number is n.
const Material* material_by_number(const Builder& b, std::int32_t number) {
  if (number < 0 || number > 0xFFFF) return nullptr;
  const auto found = b.firstByNumber.find(static_cast<std::uint16_t>(number));
  return found == b.firstByNumber.end() ? nullptr : found->second;
}

// A face's material index read as signed 16 bits; negative or above the
// number of materials gives 0.
std::int32_t material_in_force(const Builder& b, const PolyFace& face) {
  const auto value = static_cast<std::int16_t>(face.materialIndex);
  return (value < 0 || value > b.materialCount) ? 0 : value;
}

// The corner vertices: one entry per distinct corner combination.
void make_corner_vertices(Builder& b) {
  const std::size_t vertexCount = b.object.vertices.size() / 3;
  bool warned = false;
  std::int32_t inForce = 0;
  std::size_t cornerCount = 0;
  for (const PolyFace& face : b.object.faces) cornerCount += face.corners.size();
  b.faceStart.reserve(b.object.faces.size());
  b.cornerEntry.reserve(cornerCount);
  // Most corners share their source vertex with others: expect one entry per
  // vertex, as far as the corners reach.
  corner_reserve(b.table, vertexCount, std::min(cornerCount, vertexCount));
  for (const PolyFace& face : b.object.faces) {
    b.faceStart.push_back(b.cornerEntry.size());
    if (!is_hole(face)) inForce = material_in_force(b, face);
    for (const FaceCorner& corner : face.corners) {
      CornerVertex cv;
      cv.sourceVertex = corner.vertexIndex;
      cv.uvIndex = corner.uvIndex;
      cv.colour = corner.colour;
      cv.materialNumber = inForce;
      const auto index = static_cast<std::size_t>(corner.vertexIndex);
      if (corner.vertexIndex >= 0 && index < vertexCount) {
        cv.x = b.object.vertices[3 * index];
        cv.y = b.object.vertices[3 * index + 1];
        cv.z = b.object.vertices[3 * index + 2];
        if (index < b.object.vertexJoints.size()) {
          cv.boneTags[0] = static_cast<std::uint8_t>(b.object.vertexJoints[index] & 0xFF);
          cv.boneTags[1] = static_cast<std::uint8_t>(b.object.vertexJoints[index] >> 8);
        }
      } else if (!warned) {
        warned = true;
        print_warning(b.console, "%s: Warning: '%s' has faces with invalid vertex indices",
                      b.state.sourceName.c_str(), b.object.name.c_str());
      }
      std::int32_t id = corner_find(b.table, cv);
      if (id < 0) id = corner_add(b.table, cv);
      b.cornerEntry.push_back(id);
    }
  }
  corner_release_search(b.table);
}

// The prototype's vertices with placed texture coordinates,
// then the whole-number shift that makes them non-negative.
void make_vertices(Builder& b) {
  Prototype& proto = *b.state.currentProto;
  const std::size_t uvCount = b.object.uvs.size() / 2;
  float lowestU = -kTolerance, lowestV = -kTolerance;
  if (!b.table.entries.empty()) transform_copy(b.state.writer.baseTransform, b.state.vertexTransform);
  // One allocation for all the vertices instead of a doubling series.
  proto.vertices.reserve(proto.vertices.size() + b.table.entries.size());
  for (CornerVertex& e : b.table.entries) {
    e.x = snap(e.x);
    e.y = snap(e.y);
    e.z = snap(e.z);
    float u = 0, v = 0;
    const Material* material = material_by_number(b, e.materialNumber);
    if (material != nullptr && has_texture_transform(*material)) {
      float s = 0, t = 0;
      if (e.uvIndex >= 0 && static_cast<std::size_t>(e.uvIndex) < uvCount) {
        s = b.object.uvs[2 * static_cast<std::size_t>(e.uvIndex)];
        t = b.object.uvs[2 * static_cast<std::size_t>(e.uvIndex) + 1];
      }
      u = s * material->texRepeatU + material->texOffsetU;
      v = (1.0f - t) * material->texRepeatV + material->texOffsetV;
      if (u < lowestU) lowestU = u;
      if (v < lowestV) lowestV = v;
    }
    const std::int32_t index = proto_add_vertex(proto, e.x, e.y, e.z);
    proto_set_bone_tags(proto, index, 2, e.boneTags);
    proto_set_uv(proto, index, u, v);
    if (e.colour != 0) {
      proto_set_prelight(proto, index, static_cast<std::uint8_t>(e.colour & 0xFF),
                         static_cast<std::uint8_t>((e.colour >> 8) & 0xFF),
                         static_cast<std::uint8_t>((e.colour >> 16) & 0xFF));
    }
  }
  const float shiftU = lowestU < -kTolerance ? -std::floor(lowestU) : 0.0f;
  const float shiftV = lowestV < -kTolerance ? -std::floor(lowestV) : 0.0f;
  if (shiftU > 0 || shiftV > 0) {
    const std::int32_t count = proto_vertex_count(proto);
    for (std::int32_t i = 0; i < count; ++i) {
      const MeshVertex& vertex = proto.vertices[static_cast<std::size_t>(i)];
      proto_set_uv(proto, i, vertex.u + shiftU, vertex.v + shiftV);
    }
  }
}

// Closes the current prototype (written at once) and goes on in a
// continuation prototype with a copy of all its vertices.
void split_prototype(ConversionState& state) {
  PrototypeRef next = proto_new(std::nullopt);
  proto_copy_for_split(*next, *state.currentProto);
  proto_compact(*state.currentProto);
  transform_copy(next->transform, state.currentProto->transform);
  write_prototype(state.writer, state.currentNode, state.currentProto);
  state.currentProto = std::move(next);
}

// The start of a run whose material was found: the surface state, the split
// and the de-duplication against the previous state.
void start_material(Builder& b, const Material& material, SurfaceRef& previous) {
  SurfaceRef surface = surface_new();
  surface_set_color(*surface, 1, 0, 0);
  surface_set_opacity(*surface, 1.0f);
  surface_set_address_mode(*surface, 1);
  std::optional<std::string> texture, mask;
  if (material.textureMap) {
    std::string base = texture_base_name(*material.textureMap);
    if (!base.empty()) {
      if (material.textureFlags & 0x01) mask = (base + "m").substr(0, kTextureNameLength);
      texture = std::move(base);
    }
  }
  surface_set_names(*surface, texture, mask);
  surface_set_opacity(*surface, material.alpha);
  const std::uint8_t lit = material.shader != 'f' ? 1 : 0;
  const auto translucent = static_cast<std::uint8_t>(surface_is_translucent(*surface));

  SplitKey& key = b.state.splitKey;
  if (proto_face_count(*b.state.currentProto) > 0 &&
      (lit != key.lit || b.options.addressMode != key.addressMode || translucent != key.translucent ||
       b.options.mipmap != key.mipmap)) {
    split_prototype(b.state);
  }
  key = SplitKey{lit, b.options.addressMode, translucent, b.options.mipmap};
  Prototype& proto = *b.state.currentProto;
  proto_set_lit(proto, lit);

  surface_set_lighting(*surface, material.ambient, 1.0f - material.exponent);
  std::uint8_t lightSampling = material.facet == 's' ? 1 : 0;
  if (material.facet == 'a' && static_cast<std::size_t>(proto_vertex_count(proto)) > kLightSamplingVertices) {
    lightSampling = 1;
  }
  surface_set_light_sampling(*surface, lightSampling);
  surface_set_color(*surface, material.red, material.green, material.blue);
  surface_set_address_mode(*surface, b.options.addressMode);
  surface_set_mipmap(*surface, b.options.mipmap);
  if (!surface_equal(previous.get(), surface.get())) previous = std::move(surface);
  if (texture) proto_mark_textured(proto);
}

// The corners of a hole: the entries they were matched to, and the
// entries they take in the polygon, looked up again by source vertex (and,
// when the run's material has a texture transform, by texture coordinate and
// material number); a corner not found again keeps the entry it was matched to.
HoleCorners hole_corners(Builder& b, std::size_t face, std::int32_t runNumber, bool matchUv) {
  HoleCorners hole;
  const std::vector<FaceCorner>& corners = b.object.faces[face].corners;
  for (std::size_t c = 0; c < corners.size(); ++c) {
    const auto own = static_cast<std::uint32_t>(b.cornerEntry[b.faceStart[face] + c]);
    const std::int32_t again =
        corner_find_for_hole(b.table, corners[c].vertexIndex, matchUv, corners[c].uvIndex, runNumber);
    hole.measured.push_back(own);
    hole.inserted.push_back(again < 0 ? own : static_cast<std::uint32_t>(again));
  }
  return hole;
}

// The face of the run [first, end): the outer corners reversed, the holes
// bridged in, one face of the prototype.
void build_run_face(Builder& b, std::size_t first, std::size_t end, const SurfaceRef& surface) {
  const PolyFace& outer = b.object.faces[first];
  const std::size_t count = outer.corners.size();
  b.polygon.assign(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    b.polygon[count - 1 - i] = static_cast<std::uint32_t>(b.cornerEntry[b.faceStart[first] + i]);
  }
  if (count > 0 && first + 1 < end) {
    const std::int32_t runNumber = material_in_force(b, outer);
    const Material* material = material_by_number(b, runNumber);
    const bool matchUv = material != nullptr && has_texture_transform(*material);
    b.holes.clear();
    for (std::size_t h = first + 1; h < end; ++h) {
      if (!b.object.faces[h].corners.empty()) b.holes.push_back(hole_corners(b, h, runNumber, matchUv));
    }
    bridge_holes(b.table.entries, b.polygon, b.holes);
  }
  Prototype& proto = *b.state.currentProto;
  auto face = face_new(static_cast<std::int32_t>(b.polygon.size()), surface);
  for (std::size_t i = 0; i < b.polygon.size(); ++i) {
    face_set_corner(*face, static_cast<std::int32_t>(i), b.polygon[i]);
    proto_add_use(proto, static_cast<std::int32_t>(b.polygon[i]));
  }
  proto_add_face(proto, std::move(face));
}

// The state of faces that come before any material was found: red, opaque,
// untextured, wrap, mipmapped, facet lighting.
const SurfaceRef& fallback_surface(Builder& b) {
  if (!b.fallbackSurface) {
    b.fallbackSurface = surface_new();
    surface_set_color(*b.fallbackSurface, 1, 0, 0);
    surface_set_opacity(*b.fallbackSurface, 1.0f);
    surface_set_address_mode(*b.fallbackSurface, 1);
    surface_set_mipmap(*b.fallbackSurface, 1);
  }
  return b.fallbackSurface;
}

// The faces, run by run: a run is a face and the holes right after it.
void make_faces(Builder& b) {
  const std::vector<PolyFace>& faces = b.object.faces;
  b.state.splitKey.translucent = 0;
  std::optional<std::uint16_t> previousNumber;
  SurfaceRef previous;
  const Material* runMaterial = nullptr;
  std::size_t k = 0;
  while (k < faces.size()) {
    const std::uint16_t number = faces[k].materialIndex;
    if (!previousNumber || *previousNumber != number) {
      previousNumber = number;
      runMaterial = material_by_number(b, number);
      if (runMaterial == nullptr) {
        print_warning(b.console, "%s: Warning: '%s' chunk has no material", b.state.sourceName.c_str(),
                      b.object.name.c_str());
      } else {
        start_material(b, *runMaterial, previous);
      }
    }
    std::size_t end = k + 1;
    while (end < faces.size() && is_hole(faces[end])) ++end;
    const bool invisible = (b.options.picture || b.options.sign) && runMaterial != nullptr && runMaterial->alpha == 0.0f;
    if (!invisible) build_run_face(b, k, end, previous ? previous : fallback_surface(b));
    k = end;
  }
}

}  // namespace

std::string texture_base_name(std::string_view path) {
  const std::size_t nul = path.find('\0');
  if (nul != std::string_view::npos) path = path.substr(0, nul);
  const std::size_t slash = path.find_last_of("\\/");
  if (slash != std::string_view::npos) path.remove_prefix(slash + 1);
  std::string base(path.substr(0, kTextureNameLength));
  if (base.find('.') != std::string::npos) base = apply_extension_rule(base);
  return base;
}

int build_mesh(ConversionState& state, OutStream& console, const PolygonObject& object, const BuildOptions& options) {
  Builder b{state, console, object, options, {}, 0, {}, {}, {}, {}, {}, {}};
  for (const Material& material : object.materials) b.firstByNumber.emplace(material.number, &material);
  b.materialCount = static_cast<std::int32_t>(std::min<std::size_t>(object.materials.size(), 0x7FFFFFFF));
  b.table.optverts = options.optverts;
  make_corner_vertices(b);
  make_vertices(b);
  make_faces(b);
  return 1;
}

}  // namespace facetor
