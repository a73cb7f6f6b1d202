// Model files built to make the converter spend time or memory out of
// proportion to their size, one family per known attack. The hostile-input
// benchmark runs them at growing sizes, and the fuzz seeds start from them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace facetor::test {

// Faces that alternate between a lit and an unlit material, so that every
// face starts a new prototype.
std::vector<std::uint8_t> split_model(int triangles);

enum class HoleLayout {
  scattered,   // triangle holes at random in a 1x1 patch of a 20x20 face
  grid,        // holes on a grid inside a 0.01 square
  coincident,  // every hole corner on one point
};
std::vector<std::uint8_t> dense_holes_model(HoleLayout layout, int holes);

// Triangles whose corners name vertex indices outside the object, chosen so
// that the corner keys share one probe window under the fixed 64-bit mixer
// that the corner table used before its hash was keyed.
std::vector<std::uint8_t> hash_flood_model(int corners);
// `count` vertex indices (from `first` up) whose corner keys (texture index,
// colour and material 0) share their low `bits` bits, up to the lowest
// `window` values, under that old mixer.
std::vector<std::int32_t> old_mixer_colliding_sources(int count, int bits, std::uint32_t window,
                                                      std::int32_t first);

// An "_optverts" object whose triangles all lie beyond 1e13.
std::vector<std::uint8_t> far_optverts_model(int triangles);

// `count` empty Skin chunks in a row (for the dump).
std::vector<std::uint8_t> empty_skins_model(int count);

// `count` Join chunks of one joint and `count` tendon Skin chunks of another,
// all on one object.
std::vector<std::uint8_t> tendon_model(int count);

struct HostileModel {
  std::string name;  // file name, ".cob"
  char mode = 'R';   // the mode that shows the weakness
  std::vector<std::uint8_t> bytes;
};

// Every family at the given scale (1: the sizes at which the weaknesses were
// first measured, 1,000 split triangles, 2,000 holes, 80,000 flooding corners,
// 20,000 far triangles, 4,000 empty Skins, 80,000 tendons; fractions for
// quick runs and seeds).
std::vector<HostileModel> hostile_models(double scale);

}  // namespace facetor::test
