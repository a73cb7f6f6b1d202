// Mode R: the RWX file frame around the conversion (header comments,
// "ModelBegin", the prototypes, the outer clump and hierarchy, "ModelEnd").
#pragma once

#include <string>

#include "cob/container.h"
#include "convert/conversion.h"
#include "io/out_stream.h"
#include "joints/joint_names.h"

namespace facetor {

void write_rwx_file(ConversionState& state, OutStream& out, OutStream& console,
                    const std::string& inputName, Bytes buffer);

}  // namespace facetor
