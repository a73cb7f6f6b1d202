// The example model that ships in examples/: a small cottage made with the
// COB composer. The committed file must equal what this function builds.
#pragma once

#include <cstdint>
#include <vector>

namespace facetor::test {

inline constexpr const char* kExampleModelName = "cottage.cob";

// A group "cottage" holding three polygon objects: "walls" (a brick-textured
// box with a window cut into its front as a hole, and a plain floor), "roof"
// (a pyramid) and "chimney" (a small open box), each with its materials.
std::vector<std::uint8_t> example_model();

}  // namespace facetor::test
