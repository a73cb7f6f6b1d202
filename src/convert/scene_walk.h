// The walk of a loaded scene tree into the converted model tree (the part of
// load_and_convert between loading and freeing the scene).
#pragma once

#include <memory>

#include "cob/scene.h"
#include "convert/conversion.h"

namespace facetor {

// Converts the tree under root: writes every prototype through
// state.writer, leaves state.modelRoot and the frame flags set. Sorts each
// object's bones by joint number in place. Returns 1.
int convert_scene(ConversionState& state, OutStream& console,
                  const std::unique_ptr<SceneNode>& root);

}  // namespace facetor
