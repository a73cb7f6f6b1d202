// Models that made the converter spend time or memory out of proportion to their size, one family per attack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace facetor::test {

// Faces alternating between a lit and an unlit material: every face starts a new prototype.
std::vector<std::uint8_t> split_model(int triangles);
// Triangle holes at random in a 1x1 patch of a 20x20 face, on a grid inside a 0.01 square, all on one point, or on
// a lattice 1e-7 apart (every distance within the tolerance).
enum class HoleLayout { scattered, grid, coincident, lattice };
std::vector<std::uint8_t> dense_holes_model(HoleLayout layout, int holes);
// Out-of-range vertex indices whose corner keys share one probe window under the corner table's old unkeyed mixer.
std::vector<std::uint8_t> hash_flood_model(int corners);
// `count` indices from `first` up whose keys under that mixer, masked to the low `bits` bits, are below `window`.
std::vector<std::int32_t> old_mixer_colliding_sources(int count, int bits, std::uint32_t window, std::int32_t first);
std::vector<std::uint8_t> far_optverts_model(int triangles);  // an "_optverts" object beyond 1e13
std::vector<std::uint8_t> empty_skins_model(int count);       // empty Skin chunks in a row
// `count` Join chunks of one joint and `count` tendon Skin chunks of another, on one object.
std::vector<std::uint8_t> tendon_model(int count);

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
