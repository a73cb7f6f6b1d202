// Models that made the converter spend time or memory out of proportion to their size, one family per attack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace facetor::test {

// Faces alternating between a lit and an unlit material: every face starts a new prototype.
std::vector<std::uint8_t> split_model(int triangles);
// Triangle holes at random in a 1x1 patch of a 20x20 face, on a grid inside a 0.01 square, all on one point, or on
// a lattice 1e-7 apart (every distance within the tolerance), or with no finite coordinate; the grid fills a
// square `width` wide.
enum class HoleLayout { scattered, grid, coincident, lattice, nan };
std::vector<std::uint8_t> dense_holes_model(HoleLayout layout, int holes, float width = 0.01f);
// Out-of-range vertex indices whose corner keys share one probe window under a fixed mixer without a secret key.
std::vector<std::uint8_t> hash_flood_model(int corners);
// `count` indices from `first` up whose keys under that mixer, masked to the low `bits` bits, are below `window`.
std::vector<std::int32_t> fixed_mixer_colliding_sources(int count, int bits, std::uint32_t window, std::int32_t first);
std::vector<std::uint8_t> far_optverts_model(int triangles);  // an "_optverts" object beyond 1e13
std::vector<std::uint8_t> empty_skins_model(int count);       // empty Skin chunks in a row
// `count` Join chunks of one joint and `count` tendon Skin chunks of another, on one object.
std::vector<std::uint8_t> tendon_model(int count);

// ---- Faces of many holes ----
// One face whose corners and every corner of its `holes` holes of `corners` corners are all one vertex: after
// the first bridge no polygon position can serve as a bridge point.
std::vector<std::uint8_t> one_vertex_holes_model(int holes, int corners);
// An outer face of `holes` corners (at most 32,767) all on one vertex, with `holes` triangle holes all on another.
std::vector<std::uint8_t> two_vertex_holes_model(int holes);
// `pairs` pairs of concentric circular holes of `corners` corners each, side by side in a square face.
std::vector<std::uint8_t> concentric_holes_model(int corners, int pairs = 1);
// `holes` circular holes of `corners` corners each, one inside the other.
std::vector<std::uint8_t> round_holes_model(int holes, int corners);
// One-corner holes at random over the whole of a 20x20 face.
std::vector<std::uint8_t> point_holes_model(int holes);

// ---- Shapes of the cost search: each model grows in proportion to its first argument. ----
// Faces (of no corners unless `corners`) alternating two materials whose texture paths are `pathLength`
// characters, with a mask when `mask`.
std::vector<std::uint8_t> texture_runs_model(int faces, int pathLength, bool mask, bool corners);
// Faces cycling through `materials` materials of distinct colours, lit and unlit in turn every `splitEvery`;
// with `missing`, the object has no Mat1 chunks (every run warns of its missing material).
std::vector<std::uint8_t> material_cycle_model(int faces, int materials, int splitEvery, bool missing);
// Scen chunks in a chain, each the child of the one before, names of `nameLength` characters.
std::vector<std::uint8_t> scene_chain_model(int nodes, int nameLength);
// Scen chunks where every inner node has `branches` children: down one spine (`spine`), or level by level.
std::vector<std::uint8_t> scene_tree_model(int nodes, int branches, bool spine);
// Groups nested `levels` deep, each holding `objects` one-triangle polygon objects, named for avatar joints
// (the top group "_avatar") when `avatar`.
std::vector<std::uint8_t> nested_objects_model(int levels, int objects, bool avatar);
// One face of `corners` corners on `distinct` distinct vertices.
std::vector<std::uint8_t> long_face_model(int corners, int distinct);
// Sibling groups under one parent, each with a triangle, names carrying `directives` name directives.
std::vector<std::uint8_t> directive_mix_model(int nodes, int directives);
// Polygon objects all carrying one chunk ID, followed by Mat1 chunks naming it as parent.
std::vector<std::uint8_t> shared_id_model(int objects);
// Triangles whose corners each carry a colour from a VCol chunk, one entry per face.
std::vector<std::uint8_t> colour_model(int faces);

struct HostileModel {
  std::string name;  // file name, ".cob"
  char mode = 'R';   // the mode that shows the weakness
  std::vector<std::uint8_t> bytes;
};
// Every family; scale 1 gives the sizes at which the weaknesses were first measured.
std::vector<HostileModel> hostile_models(double scale);

}  // namespace facetor::test
