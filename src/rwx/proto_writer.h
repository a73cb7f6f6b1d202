// The prototype writer: one finished prototype of the mesh store as RWX text,
// in the " ProtoBegin" form or, for a skinned model, as a self-contained clump
// with "#! Bone" lines.
#pragma once

#include <string>

#include "io/out_stream.h"
#include "mesh/mesh_store.h"

namespace facetor {

// Where the prototypes of one file go, and what lives across them.
struct RwxWriterState {
  OutStream& out;
  bool skinnedFlag = false;  // a prototype with joint entries was written
};

// The name a prototype is written under: "Internal" for none, cut at a NUL
// and to 99 characters, blanks turned into "_".
std::string cleaned_name(const Prototype& proto);

// Writes the prototype, its transform being base x its own, with
// "OpacityFix on" when asked. The prototype is not changed: moved
// coordinates and the cleaned name exist only in the text.
void write_prototype(RwxWriterState& writer, const Prototype& proto, const Transform& base, bool opacityFix);

}  // namespace facetor
