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

struct HostileModel {
  std::string name;  // file name, ".cob"
  char mode = 'R';   // the mode that shows the weakness
  std::vector<std::uint8_t> bytes;
};
// Every family; scale 1 gives the sizes at which the weaknesses were first measured.
std::vector<HostileModel> hostile_models(double scale);

}  // namespace facetor::test
