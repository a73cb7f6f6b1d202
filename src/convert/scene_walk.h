// The walk of a loaded scene tree into the converted model tree (the part of
// mode R's conversion between loading and freeing the scene).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cob/scene.h"
#include "convert/conversion.h"

namespace facetor {

// Where the conversion hands each finished prototype, in order, with the
// base transform it is written under and the model node that lists it.
using FinishedPrototype =
    std::function<void(const Prototype& proto, const Transform& base, const ModelNode& node)>;

// Converts the scene tree, which it spends (each object's arrays are
// released as its prototypes are made) and frees, handing every prototype to
// `finished` and the bytes of the input that it reads no more to `spent`
// (see build_mesh); returns the model tree, the frame flags and the state
// that the next file starts from.
FileConversion convert_scene(const CarriedState& carried, OutStream& console, const std::string& sourceName,
                             std::unique_ptr<SceneNode> root, const FinishedPrototype& finished,
                             const SpentInput& spent = {});

}  // namespace facetor
