// The example models that ship in examples/, made with the COB composer: a
// small cottage and a walking avatar. The committed files must equal what
// these functions build.
#pragma once

#include <cstdint>
#include <vector>

namespace facetor::test {

inline constexpr const char* kExampleModelName = "cottage.cob";
inline constexpr const char* kAnimatedModelName = "walker.cob";

// A group "cottage" holding three polygon objects: "walls" (a brick-textured
// box with a window cut into its front as a hole, and a plain floor), "roof"
// (a pyramid) and "chimney" (a small open box), each with its materials.
std::vector<std::uint8_t> example_model();

// An avatar that walks: a group "qz_pelvis" (the root joint, with a rotation
// and a translation channel) holding boxes named for their joints ("qz_back",
// "qz_head", "qz_lfhip", "qz_rthip", "qz_lfshoulder", "qz_rtshoulder"), the
// hips and shoulders swinging in rotation channels over 30 frames.
std::vector<std::uint8_t> animated_model();

// Not shipped: a small model whose bytes hold what text-mode reads and
// writes would alter (0x1A, CR LF, NUL) in names, coordinates and a channel,
// for comparing builds on different systems.
std::vector<std::uint8_t> control_bytes_model();

}  // namespace facetor::test
