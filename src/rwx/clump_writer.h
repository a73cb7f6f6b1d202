// The clump hierarchy writer: the nested clumps, pivots, collision switches,
// joint tags and "ProtoInstance" lines that place the written prototypes.
#pragma once

#include "io/out_stream.h"
#include "mesh/mesh_store.h"

namespace facetor {

// Writes node, its descendants and its later siblings (siblings in the order
// of the parent's children list, newest first).
void write_clump_tree(OutStream& out, const ModelNode* node, int indentation, bool outerClumpFree,
                      bool parentCollision);

}  // namespace facetor
