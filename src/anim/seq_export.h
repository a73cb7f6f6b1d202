// Mode A: the limbs and animation channels of an avatar COB file written as a
// big-endian sequence file.
#pragma once

#include <cstdint>
#include <string>

#include "cob/container.h"
#include "io/out_stream.h"
#include "joints/joint_names.h"

namespace facetor {

struct SeqExportState {
  std::int16_t largestFrame = 0;
  std::int32_t moveMarker = 0;
};

// Writes the sequence file to out (binary) and the progress lines to console.
// The state is reset at the start of each export.
void export_animation(SeqExportState& state, JointIndex& joints, OutStream& out, OutStream& console,
                      const std::string& sourceName, Bytes buffer);

}  // namespace facetor
