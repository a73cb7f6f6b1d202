#include "convert/mesh_builder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "cob/map_record.h"
#include "convert/corner_table.h"
#include "convert/hole_bridge.h"
#include "io/hash_table.h"
#include "io/release.h"
#include "mesh/surface_pool.h"
#include "mesh/tolerance.h"
#include "rwx/side_by_side.h"

namespace facetor {
namespace {

constexpr std::size_t kTextureNameLength = 399;
constexpr std::uint8_t kHoleFlag = 0x08;
constexpr std::uint32_t kMaskFlag = 0x01;       // textureFlags: the texture has a mask ("<name>m")
constexpr char kShaderFlat = 'f';               // unlit; every other shader is lit
constexpr char kFacetSmooth = 's';              // vertex light sampling
constexpr char kFacetAuto = 'a';                // vertex light sampling above kLightSamplingVertices
constexpr std::size_t kLightSamplingVertices = 50;  // the file format's rule for automatic faceting

// Slot values of a vertex while a prototype is being filled.
constexpr std::uint32_t kUnused = std::numeric_limits<std::uint32_t>::max();
constexpr std::uint32_t kUsed = kUnused - 1;

bool is_hole(const PolyFace& face) { return (face.flags & kHoleFlag) != 0; }

bool has_texture_transform(const Material& material) {
  return material.texRepeatU != 0 || material.texRepeatV != 0;
}

float snap(float value) { return (value > -kTolerance && value < kTolerance) ? 0.0f : value; }

// The first material of each number: its place in the object's list, by
// number.
struct MaterialsByNumber {
  std::span<const Material> materials;
  HashTable firstOfNumber;
};

MaterialsByNumber index_materials(std::span<const Material> materials) {
  MaterialsByNumber index{materials, HashTable{}};
  hash_reserve(index.firstOfNumber, materials.size());
  for (std::size_t i = 0; i < materials.size(); ++i) {
    const std::uint16_t number = materials[i].number;
    const std::uint64_t hash = hash_of(index.firstOfNumber, {number});
    const auto same = [&](std::int32_t id) { return materials[static_cast<std::size_t>(id)].number == number; };
    if (hash_find(index.firstOfNumber, hash, same) < 0) {
      hash_insert(index.firstOfNumber, hash, static_cast<std::int32_t>(i));
    }
  }
  return index;
}

// The whole-number shift of all texture coordinates of an object.
struct UvShift {
  bool apply = false;
  float u = 0, v = 0;
};

// The working state of one build_mesh call.
struct Builder {
  Builder(const MeshBuildContext& c, PolygonObject& o, const BuildOptions& opt, const PrototypeSink& f)
      : context(c), object(o), options(opt), finished(f) {}
  const MeshBuildContext& context;
  PolygonObject& object;
  const BuildOptions& options;
  const PrototypeSink& finished;
  MaterialsByNumber firstByNumber;
  std::int32_t materialCount = 0;
  CornerTable table;
  LargeVector<std::int32_t> cornerEntry;    // the entry of every face corner
  LargeVector<std::uint32_t> holeEntry;     // the entry every corner of a hole puts into its polygon
  std::vector<std::uint32_t> polygon;       // working polygon of a run, entry indices
  std::vector<std::uint32_t> holeMeasured;  // the entries of the corners of a run's holes, in a row
  std::vector<std::uint32_t> holeFirst;     // where each of those holes (with corners) starts in them
  // The surface states of the build, each once: a material's is made at its
  // first run (its texture's file name found then, once), and a prototype
  // lists each state it uses once.
  SurfacePool surfaces;
  std::vector<std::int32_t> materialSurface;  // per material of the object: its state's id, or -1
  std::int32_t fallbackSurface = -1;
  struct InPrototype {
    std::uint32_t prototype = UINT32_MAX;  // the number of the prototype that lists the state
    std::uint32_t index = 0;               // where it lists it
  };
  std::vector<InPrototype> surfaceIndex;  // per state
  std::uint32_t prototypeNumber = 0;      // of the prototype being filled, from 0
  // The object's vertices are one per corner entry, made by vertex_of when a
  // prototype takes the ones its faces use; the whole-number shift of their
  // texture coordinates is found once for all of them (prepare_entries).
  UvShift shift;
  Prototype proto;                          // the prototype being filled
  LargeVector<std::uint32_t> slot;          // per vertex: kUnused, kUsed, or its new index
  std::size_t usedCount = 0;                // vertices the prototype uses
  LargeVector<std::uint32_t> used;          // those, first use first, while few_used holds
};

// Below 1/16 of all vertices, sorting the list of the used ones beats a pass
// over every slot (log2 of the counts met is about 16); above, no list is kept.
constexpr std::size_t kScanRatio = 16;

bool few_used(const Builder& b) { return b.usedCount * kScanRatio < b.slot.size(); }

void mark_used(Builder& b, std::uint32_t v) {
  if (b.slot[v] != kUnused) return;
  b.slot[v] = kUsed;
  ++b.usedCount;
  if (few_used(b)) b.used.push_back(v);
}

// The first material of the list whose number is n.
const Material* material_by_number(const MaterialsByNumber& index, std::int32_t number) {
  if (number < 0 || number > 0xFFFF) return nullptr;
  const std::uint64_t hash = hash_of(index.firstOfNumber, {static_cast<std::uint64_t>(number)});
  const std::int32_t found = hash_find(index.firstOfNumber, hash, [&](std::int32_t id) {
    return index.materials[static_cast<std::size_t>(id)].number == number;
  });
  return found < 0 ? nullptr : &index.materials[static_cast<std::size_t>(found)];
}

// A face's material index read as signed 16 bits; negative or above the
// number of materials gives 0.
std::int32_t material_in_force(std::int32_t materialCount, const PolyFace& face) {
  const auto value = static_cast<std::int16_t>(face.materialIndex);
  return (value < 0 || value > materialCount) ? 0 : value;
}

// The corner c of the object (of the given face corner), with the material
// in force; invalid turns true when it names no vertex of the object (its
// position is then 0, 0, 0).
CornerVertex corner_vertex(const Builder& b, const FaceCorner& corner, std::size_t c, std::int32_t inForce,
                           bool& invalid) {
  const std::size_t vertexCount = b.object.vertices.size() / 3;
  CornerVertex cv;
  cv.sourceVertex = corner.vertexIndex;
  cv.uvIndex = corner.uvIndex;
  cv.colour = corner_colour(b.object, c);
  cv.materialNumber = static_cast<std::uint16_t>(inForce);
  const auto index = static_cast<std::size_t>(corner.vertexIndex);
  if (corner.vertexIndex >= 0 && index < vertexCount) {
    cv.x = b.object.vertices[3 * index];
    cv.y = b.object.vertices[3 * index + 1];
    cv.z = b.object.vertices[3 * index + 2];
  } else {
    invalid = true;
  }
  return cv;
}

// Calls visit(corner) for the corners of the object's faces in order,
// warning at the first one that names no vertex of the object.
template <typename Visit>
void visit_corners(const Builder& b, Visit visit) {
  bool invalid = false, warned = false;
  std::int32_t inForce = 0;
  for (const PolyFace& face : b.object.faces) {
    if (!is_hole(face)) inForce = material_in_force(b.materialCount, face);
    std::size_t c = face.firstCorner;
    for (const FaceCorner& corner : corners_of(b.object, face)) {
      const CornerVertex cv = corner_vertex(b, corner, c++, inForce, invalid);
      if (invalid && !warned) {
        warned = true;
        print_warning(b.context.console, "%s: Warning: '%s' has faces with invalid vertex indices",
                      b.context.sourceName.c_str(), b.object.name.c_str());
      }
      visit(cv);
    }
  }
}

// Matches the corners by position (optverts): each corner is matched
// kLookAhead corners after it is made, so that its cell of the position
// index is fetched meanwhile: a cache miss (~100 ns) takes about as long as
// matching 16 corners whose cells are at hand.
void match_by_position(Builder& b) {
  constexpr std::size_t kLookAhead = 16;
  struct Pending {
    CornerVertex corner;
    std::uint64_t cellHash = 0;
  };
  std::array<Pending, kLookAhead> pending;
  std::size_t made = 0, matched = 0;
  auto match_oldest = [&] {
    const Pending& p = pending[matched % kLookAhead];
    b.cornerEntry[matched++] = corner_match(b.table, p.corner, p.cellHash);
  };
  visit_corners(b, [&](const CornerVertex& cv) {
    if (made == matched + kLookAhead) match_oldest();
    pending[made % kLookAhead] = Pending{cv, corner_cell_hash(b.table, cv)};
    corner_prefetch(b.table, pending[made % kLookAhead].cellHash);
    ++made;
  });
  while (matched < made) match_oldest();
}

// Matches the corners by their exact keys.
void match_by_key(Builder& b) {
  std::size_t c = 0;
  visit_corners(b, [&](const CornerVertex& cv) { b.cornerEntry[c++] = corner_match(b.table, cv, 0); });
}

// The corner vertices: one entry per distinct corner combination.
void make_corner_vertices(Builder& b) {
  const std::size_t vertexCount = b.object.vertices.size() / 3;
  const LargeVector<PolyFace>& faces = b.object.faces;
  const std::size_t cornerCount = faces.empty() ? 0 : faces.back().firstCorner + corners_of(b.object, faces.back()).size();
  b.cornerEntry.resize(cornerCount);
  // Most corners share their source vertex with others: expect one entry per
  // vertex, as far as the corners reach. Only holes (faces after the first)
  // look entries up by source vertex.
  b.table.indexFiniteByKey = std::any_of(faces.begin() + (faces.empty() ? 0 : 1), faces.end(), is_hole);
  corner_reserve(b.table, vertexCount, std::min(cornerCount, vertexCount));
  if (b.table.optverts) {
    match_by_position(b);
  } else {
    match_by_key(b);
  }
  corner_release_search(b.table);
}

// The material of the entries being visited in turn: neighbouring entries
// mostly share their material number, which is looked up again only when it
// changes.
struct EntryMaterial {
  std::int32_t number = -1;
  const Material* material = nullptr;
};

const Material* material_of(const Builder& b, const CornerVertex& e, EntryMaterial& last) {
  if (e.materialNumber != last.number) {
    last.number = e.materialNumber;
    last.material = material_by_number(b.firstByNumber, e.materialNumber);
  }
  return last.material;
}

// Lists of fewer elements are gone through on one thread.
constexpr std::size_t kHalvesFrom = std::size_t{1} << 16;

// The vertex of an entry before the texture shift, with its texture
// coordinates placed by its material's texture transform; placed tells
// whether the material has one.
MeshVertex placed_vertex(const Builder& b, const CornerVertex& e, EntryMaterial& last, bool& placed) {
  MeshVertex vertex;
  vertex.x = e.x;
  vertex.y = e.y;
  vertex.z = e.z;
  const auto source = static_cast<std::size_t>(e.sourceVertex);
  if (e.sourceVertex >= 0 && source < b.object.vertexJoints.size()) {
    vertex.boneTags[0] = static_cast<std::uint8_t>(b.object.vertexJoints[source] & 0xFF);
    vertex.boneTags[1] = static_cast<std::uint8_t>(b.object.vertexJoints[source] >> 8);
  }
  const Material* material = material_of(b, e, last);
  placed = material != nullptr && has_texture_transform(*material);
  if (placed) {
    const std::size_t uvCount = b.object.uvs.size() / 2;
    float s = 0, t = 0;
    if (e.uvIndex >= 0 && static_cast<std::size_t>(e.uvIndex) < uvCount) {
      s = b.object.uvs[2 * static_cast<std::size_t>(e.uvIndex)];
      t = b.object.uvs[2 * static_cast<std::size_t>(e.uvIndex) + 1];
    }
    vertex.u = s * material->texRepeatU + material->texOffsetU;
    vertex.v = (1.0f - t) * material->texRepeatV + material->texOffsetV;
  }
  if (e.colour != 0) {
    vertex.red = static_cast<std::uint8_t>(e.colour & 0xFF);
    vertex.green = static_cast<std::uint8_t>((e.colour >> 8) & 0xFF);
    vertex.blue = static_cast<std::uint8_t>((e.colour >> 16) & 0xFF);
  }
  return vertex;
}

// The vertex of entry i as the prototypes take it.
MeshVertex vertex_of(const Builder& b, std::size_t i, EntryMaterial& last) {
  bool placed = false;
  MeshVertex vertex = placed_vertex(b, b.table.entries[i], last, placed);
  if (b.shift.apply) {
    vertex.u = vertex.u + b.shift.u;
    vertex.v = vertex.v + b.shift.v;
  }
  return vertex;
}

// What the corner entries ask of the prototypes: texture coordinates,
// prelight colours, and the shift of the coordinates.
struct EntryFacts {
  bool hasUV = false;        // a placed coordinate other than (0, 0)
  bool hasPrelight = false;  // a vertex colour other than black
  UvShift shift;
};

// Coordinates within the tolerance of 0 become 0, in the entries themselves
// (holes are bridged on the snapped positions). Returns the entries' facts:
// the whole-number shift of all texture coordinates keeps the lowest u and v
// placed from falling below -tolerance.
EntryFacts prepare_entries(Builder& b) {
  // Each half of the entries finds its lowest coordinates and its flags.
  struct Found {
    float lowestU = -kTolerance, lowestV = -kTolerance;
    bool hasUV = false, hasPrelight = false;
  };
  std::array<Found, 2> found;
  run_in_halves(b.table.entries.size(), kHalvesFrom, [&](std::size_t half, std::size_t from, std::size_t to) {
    Found f;  // apart from the other half's while it changes
    EntryMaterial last;
    for (std::size_t i = from; i < to; ++i) {
      CornerVertex& e = b.table.entries[i];
      e.x = snap(e.x);
      e.y = snap(e.y);
      e.z = snap(e.z);
      bool placed = false;
      const MeshVertex vertex = placed_vertex(b, e, last, placed);
      if (placed) {
        f.lowestU = std::min(f.lowestU, vertex.u);
        f.lowestV = std::min(f.lowestV, vertex.v);
        if (vertex.u != 0 || vertex.v != 0) f.hasUV = true;
      }
      if (vertex.red != 0 || vertex.green != 0 || vertex.blue != 0) f.hasPrelight = true;
    }
    found[half] = f;
  });
  EntryFacts facts;
  facts.hasUV = found[0].hasUV || found[1].hasUV;
  facts.hasPrelight = found[0].hasPrelight || found[1].hasPrelight;
  const float lowestU = std::min(found[0].lowestU, found[1].lowestU);
  const float lowestV = std::min(found[0].lowestV, found[1].lowestV);
  facts.shift.u = lowestU < -kTolerance ? -std::floor(lowestU) : 0.0f;
  facts.shift.v = lowestV < -kTolerance ? -std::floor(lowestV) : 0.0f;
  facts.shift.apply = facts.shift.u > 0 || facts.shift.v > 0;
  return facts;
}

// Gives the finished prototype the vertices its faces use, in the object's
// vertex order, renumbers its corners, and hands it on. The last prototype
// releases the builder's tables before it is handed on.
void finish_prototype(Builder& b, bool last) {
  Prototype& proto = b.proto;
  const std::size_t vertexCount = b.table.entries.size();
  EntryMaterial material;
  proto.vertices.reserve(b.usedCount);
  if (b.usedCount == vertexCount) {  // every vertex: the corners keep their numbers
    if (last) {
      release_storage(b.slot);
      release_storage(b.used);
    } else {
      std::fill(b.slot.begin(), b.slot.end(), kUnused);
    }
    proto.vertices.resize(vertexCount);
    run_in_halves(vertexCount, kHalvesFrom, [&](std::size_t, std::size_t from, std::size_t to) {
      EntryMaterial last;
      for (std::size_t v = from; v < to; ++v) proto.vertices[v] = vertex_of(b, v, last);
    });
  } else if (few_used(b)) {  // the list holds them all
    std::sort(b.used.begin(), b.used.end());
    for (std::uint32_t v : b.used) {
      b.slot[v] = static_cast<std::uint32_t>(proto.vertices.size());
      proto.vertices.push_back(vertex_of(b, v, material));
    }
    for (std::uint32_t& corner : proto.corners) corner = b.slot[corner];
    for (std::uint32_t v : b.used) b.slot[v] = kUnused;
  } else {  // a pass over all slots, which then costs no more than a constant times the used ones
    for (std::size_t v = 0; v < vertexCount; ++v) {
      if (b.slot[v] != kUsed) continue;
      b.slot[v] = static_cast<std::uint32_t>(proto.vertices.size());
      proto.vertices.push_back(vertex_of(b, v, material));
    }
    for (std::uint32_t& corner : proto.corners) corner = b.slot[corner];
    std::fill(b.slot.begin(), b.slot.end(), kUnused);
  }
  b.used.clear();
  b.usedCount = 0;
  if (last) {
    release_storage(b.used);
    release_storage(b.slot);
    b.table = CornerTable{};
  }
  b.finished(proto);
}

// Closes the current prototype and goes on in a continuation prototype with
// its flags, joint number and transform (no name, no joint table).
void split_prototype(Builder& b) {
  Prototype next;
  next.litTextures = b.proto.litTextures;
  next.wireframe = b.proto.wireframe;
  next.hasUV = b.proto.hasUV;
  next.hasPrelight = b.proto.hasPrelight;
  next.joint = b.proto.joint;
  next.transform = b.proto.transform;
  finish_prototype(b, false);
  b.proto = std::move(next);
  ++b.prototypeNumber;
}

// The texture name and, when the material's texture has one, the mask name.
std::pair<std::optional<std::string>, std::optional<std::string>> texture_names(const Material& material) {
  std::optional<std::string> texture, mask;
  if (material.textureMap) {
    std::string base = texture_base_name(*material.textureMap);
    if (!base.empty()) {
      if (material.textureFlags & kMaskFlag) mask = (base + "m").substr(0, kTextureNameLength);
      texture = std::move(base);
    }
  }
  return {std::move(texture), std::move(mask)};
}

// The surface state of a material's runs.
SurfaceState material_surface(const Builder& b, const Material& material) {
  SurfaceState surface;
  const auto [texture, mask] = texture_names(material);
  surface_set_names(surface, texture, mask);
  surface_set_opacity(surface, material.alpha);
  surface.ambient = material.ambient;
  surface.diffuse = 1.0f - material.exponent;
  surface.lightSampling =
      material.facet == kFacetSmooth || (material.facet == kFacetAuto && b.table.entries.size() > kLightSamplingVertices);
  surface_set_color(surface, material.red, material.green, material.blue);
  surface.addressMode = b.options.addressMode;
  surface.mipmap = b.options.mipmap;
  return surface;
}

// The id of a material's surface state, made at its first run.
std::uint32_t surface_of(Builder& b, const Material& material) {
  std::int32_t& id = b.materialSurface[static_cast<std::size_t>(&material - b.object.materials.data())];
  if (id < 0) id = static_cast<std::int32_t>(surface_pool_add(b.surfaces, material_surface(b, material)));
  return static_cast<std::uint32_t>(id);
}

// The start of a run whose material was found: its surface state, the split
// when the key changes (once the prototype has faces), and the
// de-duplication against the previous state.
void start_material(Builder& b, const Material& material, std::optional<std::uint32_t>& previous) {
  const std::uint32_t id = surface_of(b, material);
  const SurfaceState& surface = *b.surfaces.states[id];
  const bool textured = surface.texture.has_value();
  const SplitKey key{material.shader != kShaderFlat, b.options.addressMode, surface_is_translucent(surface),
                     b.options.mipmap};
  SplitKey& current = b.context.splitKey;
  if (!b.proto.faces.empty() && (key.lit != current.lit || key.addressMode != current.addressMode ||
                                 key.translucent != current.translucent || key.mipmap != current.mipmap)) {
    split_prototype(b);
  }
  current = key;
  b.proto.litTextures = key.lit;
  if (!previous || !surface_pool_equal(b.surfaces, *previous, id)) previous = id;
  if (textured) b.proto.hasUV = true;
}

// The entries that the corners of the holes take in their polygons, hole
// by hole: each corner's entry looked up again by source vertex (and, when
// the material of the hole's run has a texture transform, by texture
// coordinate and material number), or the entry it was matched to when none
// is found. Then the table's searches by source vertex are done with.
LargeVector<std::uint32_t> find_hole_entries(Builder& b) {
  LargeVector<std::uint32_t> holeEntry;
  std::int32_t runNumber = 0;
  EntryMaterial runMaterial;  // the material of the last run with holes
  for (std::size_t f = 0; f < b.object.faces.size(); ++f) {
    const PolyFace& face = b.object.faces[f];
    if (f == 0 || !is_hole(face)) {  // a run's first face
      runNumber = material_in_force(b.materialCount, face);
      continue;
    }
    if (runNumber != runMaterial.number) {
      runMaterial = {runNumber, material_by_number(b.firstByNumber, runNumber)};
    }
    const bool matchUv = runMaterial.material != nullptr && has_texture_transform(*runMaterial.material);
    const FaceCorners corners = corners_of(b.object, face);
    for (std::size_t c = 0; c < corners.size(); ++c) {
      const auto own = static_cast<std::uint32_t>(b.cornerEntry[face.firstCorner + c]);
      const std::int32_t again =
          corner_find_for_hole(b.table, corners[c].vertexIndex, matchUv, corners[c].uvIndex, runNumber);
      holeEntry.push_back(again < 0 ? own : static_cast<std::uint32_t>(again));
    }
  }
  corner_release_hole_search(b.table);
  return holeEntry;
}

// The object's vertex and face lists are read for the last time once the
// corners have their entries (the holes' corners looked up again): their
// bytes go to context.spent, and the object's view of the vertices goes. The
// faces keep their records, whose corners are read no more. The texture
// coordinates, between the lists, are read again as the vertices are made.
void spend_lists(const MeshBuildContext& context, PolygonObject& object) {
  if (context.spent) {
    const Bytes lists = object.lists;
    const Bytes uvs = object.uvs.bytes();
    const auto before = static_cast<std::size_t>(uvs.empty() ? lists.size() : uvs.data() - lists.data());
    context.spent(lists.first(before));
    if (!uvs.empty()) context.spent(lists.subspan(before + uvs.size()));
  }
  object.vertices = FloatList{};
  object.vertexCount = 0;
  object.lists = Bytes{};
}

// The index under which the prototype being filled lists a state of the
// pool, listing it at its first use.
std::uint32_t prototype_surface(Builder& b, std::uint32_t id) {
  if (b.surfaceIndex.size() <= id) b.surfaceIndex.resize(b.surfaces.states.size());
  Builder::InPrototype& listed = b.surfaceIndex[id];
  if (listed.prototype != b.prototypeNumber) listed = {b.prototypeNumber, proto_add_surface(b.proto, b.surfaces.states[id])};
  return listed.index;
}

// The face of the run [first, end), whose holes' corners start at
// firstHoleCorner in holeEntry: the outer corners reversed, the holes
// bridged in, one face of the prototype.
void build_run_face(Builder& b, std::size_t first, std::size_t end, std::size_t firstHoleCorner,
                    std::uint32_t surface) {
  const PolyFace& outer = b.object.faces[first];
  const std::size_t count = corners_of(b.object, outer).size();
  b.polygon.assign(count, 0);
  for (std::size_t i = 0; i < count; ++i) {
    b.polygon[count - 1 - i] = static_cast<std::uint32_t>(b.cornerEntry[outer.firstCorner + i]);
  }
  if (count > 0 && first + 1 < end) {
    // The run's holes with corners: the entries they were matched to, and
    // those they take in the polygon (from holeEntry on at firstHoleCorner).
    b.holeMeasured.clear();
    b.holeFirst.assign(1, 0);
    for (std::size_t h = first + 1; h < end; ++h) {
      const PolyFace& face = b.object.faces[h];
      const std::size_t holeCount = corners_of(b.object, face).size();
      if (holeCount == 0) continue;
      for (std::size_t c = 0; c < holeCount; ++c) {
        b.holeMeasured.push_back(static_cast<std::uint32_t>(b.cornerEntry[face.firstCorner + c]));
      }
      b.holeFirst.push_back(static_cast<std::uint32_t>(b.holeMeasured.size()));
    }
    const std::span<const std::uint32_t> inserted(b.holeEntry.data() + firstHoleCorner, b.holeMeasured.size());
    bridge_holes(b.table.entries, b.polygon, FaceHoles{b.holeMeasured, inserted, b.holeFirst});
  }
  for (std::uint32_t v : b.polygon) mark_used(b, v);
  proto_add_face(b.proto, b.polygon, prototype_surface(b, surface));
}

// The state of faces that come before any material was found: red, opaque,
// untextured, wrap, mipmapped, facet lighting.
std::uint32_t fallback_surface(Builder& b) {
  if (b.fallbackSurface < 0) {
    SurfaceState fallback;
    surface_set_color(fallback, 1, 0, 0);
    surface_set_opacity(fallback, 1.0f);
    fallback.addressMode = 1;
    fallback.mipmap = 1;
    b.fallbackSurface = static_cast<std::int32_t>(surface_pool_add(b.surfaces, fallback));
  }
  return static_cast<std::uint32_t>(b.fallbackSurface);
}

// Room in the first prototype for every face and corner the object can
// give (each hole adds two bridge corners), and in the used list for as many
// vertices as it holds, so that the arrays of a large object are not copied
// as they grow.
void reserve_faces(Builder& b) {
  std::size_t faces = 0, corners = 0;
  for (const PolyFace& face : b.object.faces) {
    faces += is_hole(face) ? 0 : 1;
    corners += corners_of(b.object, face).size() + (is_hole(face) ? 2 : 0);
  }
  b.proto.faces.reserve(faces);
  b.proto.corners.reserve(corners);
  b.used.reserve(b.slot.size() / kScanRatio + 1);
}

// The corner search tables are not needed once the faces are made; the
// entries stay until the last prototype has made its vertices from them,
// and all of them are released before it is handed on and written.
void release_working_tables(Builder& b) {
  CornerEntries entries = std::move(b.table.entries);
  b.table = CornerTable{};
  b.table.entries = std::move(entries);
  release_storage(b.object.faces);
  b.object.faceCount = 0;
  b.object.cornerTotal = 0;
  b.object.source = Bytes{};
  release_storage(b.cornerEntry);
  release_storage(b.holeEntry);
  release_storage(b.polygon);
  release_storage(b.holeMeasured);
  release_storage(b.holeFirst);
}

// The faces, run by run: a run is a face and the holes right after it.
void make_faces(Builder& b) {
  const LargeVector<PolyFace>& faces = b.object.faces;
  b.context.splitKey.translucent = false;
  std::optional<std::uint16_t> previousNumber;
  std::optional<std::uint32_t> previous;
  const Material* runMaterial = nullptr;
  b.materialSurface.assign(b.object.materials.size(), -1);
  std::size_t firstHoleCorner = 0;  // of the run's holes in holeEntry
  std::size_t k = 0;
  while (k < faces.size()) {
    const std::uint16_t number = faces[k].materialIndex;
    if (!previousNumber || *previousNumber != number) {
      previousNumber = number;
      runMaterial = material_by_number(b.firstByNumber, number);
      if (runMaterial == nullptr) {
        print_warning(b.context.console, "%s: Warning: '%s' chunk has no material", b.context.sourceName.c_str(),
                      b.object.name.c_str());
      } else {
        start_material(b, *runMaterial, previous);
      }
    }
    std::size_t end = k + 1;
    while (end < faces.size() && is_hole(faces[end])) ++end;
    const bool invisible = (b.options.picture || b.options.sign) && runMaterial != nullptr && runMaterial->alpha == 0.0f;
    if (!invisible) build_run_face(b, k, end, firstHoleCorner, previous ? *previous : fallback_surface(b));
    for (std::size_t f = k + 1; f < end; ++f) firstHoleCorner += corners_of(b.object, faces[f]).size();
    k = end;
  }
}

}  // namespace

std::string texture_base_name(std::string_view path) {
  std::string base(texture_file_name(path).substr(0, kTextureNameLength));
  if (base.find('.') != std::string::npos) base = apply_extension_rule(base);
  return base;
}

void build_mesh(const MeshBuildContext& context, PolygonObject&& object, const BuildOptions& options,
                Prototype first, const PrototypeSink& finished) {
  Builder b(context, object, options, finished);
  b.proto = std::move(first);
  b.firstByNumber = index_materials(object.materials);
  b.materialCount = static_cast<std::int32_t>(std::min<std::size_t>(object.materials.size(), 0x7FFFFFFF));
  b.table.optverts = options.optverts;
  make_corner_vertices(b);
  b.holeEntry = find_hole_entries(b);
  spend_lists(context, object);
  const EntryFacts facts = prepare_entries(b);
  b.shift = facts.shift;
  b.proto.hasUV = b.proto.hasUV || facts.hasUV;
  b.proto.hasPrelight = b.proto.hasPrelight || facts.hasPrelight;
  b.slot.assign(b.table.entries.size(), kUnused);
  reserve_faces(b);
  make_faces(b);
  release_working_tables(b);
  finish_prototype(b, true);
  object.uvs = FloatList{};
  object.uvCount = 0;
}

}  // namespace facetor
