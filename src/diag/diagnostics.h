// The diagnostic modes: the chunk type listing (H), the image list (I) and
// the text dump (D).
#pragma once

#include "cob/container.h"
#include "io/out_stream.h"

namespace facetor {

// Mode H: one line per distinct chunk type with its count, on the console.
void list_chunk_types(Bytes buffer, OutStream& console);

// Mode I: every texture image that the materials use, with its use count.
void list_images(Bytes buffer, OutStream& console);

// Mode D: the header line of every chunk, the decoded skeleton and
// deformation chunks, and the closing tally, written to out (text mode).
// The header messages go to the console.
void dump_chunks(Bytes buffer, OutStream& out, OutStream& console);

}  // namespace facetor
