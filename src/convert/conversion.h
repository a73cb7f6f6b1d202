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
#include "rwx/proto_writer.h"

namespace facetor {

// The mesh builder's split key. Its lit flag, address mode and mipmap carry
// over from object to object and from file to file within one run; its
// translucency starts at 0 in each build.
struct SplitKey {
  std::uint8_t lit = 0;
  std::uint8_t addressMode = 0;
  std::uint8_t translucent = 0;
  std::uint8_t mipmap = 0;
};

// Everything that the RWX conversion keeps between calls.
struct ConversionState {
  RwxWriterState writer;           // output stream, skinnedFlag, baseTransform
  int axisAlignmentFlag = 0;       // frame flags, cleared for each file
  int rotateFlag = 0;
  std::unique_ptr<ModelNode> modelRoot;
  PrototypeRef currentProto;
  ModelNode* currentNode = nullptr;
  Transform vertexTransform;
  SplitKey splitKey;
  std::string sourceName;          // first word of every warning
};

// Loads the scene, converts it (writing every prototype through
// state.writer.out) and frees the scene. Returns the conversion's result, or 0
// when no scene tree could be loaded.
int load_and_convert(ConversionState& state, OutStream& console,
                     const std::string& sourceName, Bytes buffer);

}  // namespace facetor
