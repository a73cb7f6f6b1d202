// The conversion of a loaded scene tree into the converted model tree, with
// the name directives, the avatar joint numbers and joint tables, and the mesh
// builder that turns each visible polygon object into prototypes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "cob/container.h"
#include "joints/joint_names.h"
#include "mesh/mesh_store.h"
#include "convert/mesh_builder.h"
#include "rwx/proto_writer.h"

namespace facetor {

// Everything that the RWX conversion keeps between calls.
struct ConversionState {
  RwxWriterState writer;           // output stream, skinnedFlag
  bool axisAlignmentFlag = false;  // frame flags, cleared for each file
  bool rotateFlag = false;
  std::unique_ptr<ModelNode> modelRoot;
  // The vertex transform of the last object that had corners, under which
  // prototypes are written; it carries over to later objects and files (all
  // twelve values are 0 until the first such object).
  Transform baseTransform{{0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0}};
  SplitKey splitKey;
  std::string sourceName;          // first word of every warning
};

// Loads the scene, converts it (writing every prototype through
// state.writer) and frees the scene. A file without a scene tree leaves no
// model tree.
void load_and_convert(ConversionState& state, OutStream& console,
                     const std::string& sourceName, Bytes buffer);

}  // namespace facetor
