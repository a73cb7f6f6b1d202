// The prototype writer: one finished prototype of the mesh store as RWX text,
// in the " ProtoBegin" form or, for a skinned model, as a self-contained clump
// with "#! Bone" lines. Also the one number format of the RWX file.
#pragma once

#include "io/out_stream.h"
#include "mesh/mesh_store.h"

namespace facetor {

// Writer state that lives across prototypes (and, for baseTransform, across
// files of one run).
struct RwxWriterState {
  OutStream* out = nullptr;
  int skinnedFlag = 0;
  // Recorded by the mesh builder; all twelve values are 0 until then.
  Transform baseTransform{{0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0}};
};

// Writes one number: values within +-1e-6 print as 0, "%f" digits with
// trailing zeros stripped (the point stays), then the terminator.
void write_number(OutStream& out, float value, char terminator);

// Writes the prototype and records it at the head of node->protos (when the
// node is present). Stores the cleaned name back into the prototype.
void write_prototype(RwxWriterState& writer, ModelNode* node, const PrototypeRef& proto);

}  // namespace facetor
