// Mode R: the RWX file frame around the conversion (header comments,
// "ModelBegin", the prototypes, the outer clump and hierarchy, "ModelEnd").
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "io/out_stream.h"
#include "mesh/mesh_store.h"
#include "rwx/proto_writer.h"

namespace facetor {

// What the conversion of one file gives the frame: the converted model tree
// (none when the file holds no scene tree) and the two frame flags.
struct ConvertedModel {
  std::unique_ptr<ModelNode> root;
  bool axisAlignmentFlag = false;  // "AxisAlignment ZOrientY" in the outer clump
  bool rotateFlag = false;         // the two "Rotate" lines in the outer clump
};

// Converts one file, writing its prototypes through the writer it is given.
using ModelConversion = std::function<ConvertedModel(RwxWriterState& writer)>;

// Writes the whole RWX file into out: the header, the prototypes that
// convert writes, and, unless a skinned prototype was written, the outer
// clump with the hierarchy of the model it returns.
void write_rwx_file(OutStream& out, const std::string& inputName, const ModelConversion& convert);

}  // namespace facetor
