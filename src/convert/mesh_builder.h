// The mesh builder: one polygon object of the scene tree into prototypes of
// the mesh store, with merged corner vertices, placed texture coordinates,
// shared surface states per material run, holes bridged into their faces,
// reversed corner order, and a continuation prototype ("Internal") whenever
// lighting, address mode, translucency or mipmap change between runs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "cob/scene.h"
#include "convert/conversion.h"
#include "io/out_stream.h"

namespace facetor {

struct BuildOptions {
  bool picture = false;
  bool sign = false;
  std::uint8_t addressMode = 1;
  std::uint8_t mipmap = 1;
  bool optverts = false;
};

// Builds into state.currentProto (which must have no vertices yet); writes
// each prototype it closes to state.currentNode. Warnings go to the console.
// Returns 1 (the object was processed).
int build_mesh(ConversionState& state, OutStream& console, const PolygonObject& object, const BuildOptions& options);

// The file name part of a texture path (after the last "\" or "/"), cut to
// 399 characters, with the extension rule applied when it holds a ".".
std::string texture_base_name(std::string_view path);

}  // namespace facetor
