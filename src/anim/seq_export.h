// Mode A: the limbs and animation channels of an avatar COB file written as a
// big-endian sequence file.
#pragma once

#include <cstdint>
#include <string>

#include "cob/container.h"
#include "io/out_stream.h"

namespace facetor {

// What one export found, for whoever explains the file to a person.
struct AnimationSummary {
  bool anyLimb = false;                // some object is named as a limb
  std::int64_t unmatchedChannels = 0;  // Chan chunks given to no limb (each printed the duplicate line)
  bool builtInRotation = false;        // no limb's rotation was written: the built-in "dummy" stands in
};

// Writes the sequence file to out (binary) and the progress lines to console,
// and returns what it found (nothing for a file that fails the header check).
// Each export starts afresh: nothing carries over from an earlier file.
AnimationSummary export_animation(OutStream& out, OutStream& console, const std::string& sourceName, Bytes buffer);

}  // namespace facetor
