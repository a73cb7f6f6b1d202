// The conversion of a loaded scene tree into the converted model tree, with
// the name directives, the avatar joint numbers and joint tables, and the mesh
// builder that turns each visible polygon object into prototypes.
#pragma once

#include <string>

#include "cob/container.h"
#include "convert/mesh_builder.h"
#include "mesh/mesh_store.h"
#include "rwx/proto_writer.h"
#include "rwx/rwx_file.h"

namespace facetor {

// What one file's conversion hands on to the next file's within a run: the
// vertex transform of the last object that had corners, under which
// prototypes are written (all twelve values 0 until the first such object),
// and the mesh builder's split key.
struct CarriedState {
  Transform baseTransform{{0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 0}};
  SplitKey splitKey;
};

// What the conversion of one file gives: the model for the file frame, and
// the state that the next file's conversion starts from.
struct FileConversion {
  ConvertedModel model;
  CarriedState carried;
};

// Mode R for one file: the RWX file of the model in input, written into
// out, its warnings on the console. Returns the state for the next file.
CarriedState write_rwx_conversion(const CarriedState& carried, OutStream& out, OutStream& console,
                                  const std::string& inputName, LargeVector<std::uint8_t>&& input);

}  // namespace facetor
