// Mode A: the limbs and animation channels of an avatar COB file written as a
// big-endian sequence file.
#pragma once

#include <cstdint>
#include <string>

#include "cob/container.h"
#include "io/out_stream.h"

namespace facetor {

// Writes the sequence file to out (binary) and the progress lines to console.
// Each export starts afresh: nothing carries over from an earlier file.
void export_animation(OutStream& out, OutStream& console, const std::string& sourceName, Bytes buffer);

}  // namespace facetor
