// For tests, which hold the indexed bridging against the scan on faces small
// enough for both: in the program only bridge_holes calls it.
#pragma once

#include <cstdint>
#include <vector>

#include "convert/hole_bridge.h"

namespace facetor {

// What bridge_holes does through its indexes, whatever the face's size.
void bridge_holes_indexed(CornerEntries& entries, std::vector<std::uint32_t>& polygon,
                          const FaceHoles& holes);

}  // namespace facetor
