// The walk of a loaded scene tree into the converted model tree (the part of
// load_and_convert between loading and freeing the scene).
#pragma once

#include <functional>
#include <memory>

#include "cob/scene.h"
#include "convert/conversion.h"

namespace facetor {

// Where the conversion hands each finished prototype, in order, with the
// model node that lists it; load_and_convert writes it through
// state.writer.
using FinishedPrototype = std::function<void(const Prototype& proto, const ModelNode& node)>;

// Writes a finished prototype through state.writer, under the base
// transform, with its node's opacity fix.
void write_finished(ConversionState& state, const Prototype& proto, const ModelNode& node);

// Converts the tree under root: hands every prototype to `finished`, leaves
// state.modelRoot and the frame flags set. Sorts each object's bones by joint
// number in place.
void convert_scene(ConversionState& state, OutStream& console,
                   const std::unique_ptr<SceneNode>& root, const FinishedPrototype& finished);

}  // namespace facetor
