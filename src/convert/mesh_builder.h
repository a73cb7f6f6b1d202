// The mesh builder: one polygon object of the scene tree into prototypes of
// the mesh store, with merged corner vertices, placed texture coordinates,
// shared surface states per material run, holes bridged into their faces,
// reversed corner order, and a continuation prototype ("Internal") whenever
// lighting, address mode, translucency or mipmap change between runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "cob/scene.h"
#include "io/out_stream.h"
#include "mesh/mesh_store.h"

namespace facetor {

struct BuildOptions {
  bool picture = false;
  bool sign = false;
  std::uint8_t addressMode = 1;
  std::uint8_t mipmap = 1;
  bool optverts = false;
};

// The settings whose change between material runs closes a prototype. Its
// lit flag, address mode and mipmap carry over from object to object and from
// file to file within one run; its translucency starts off in each build.
struct SplitKey {
  bool lit = false;
  std::uint8_t addressMode = 0;
  bool translucent = false;
  std::uint8_t mipmap = 0;
};

// Receives each finished prototype, in the order they are finished: every
// prototype closed by a split, then the object's last one. Each holds only
// the vertices its faces use, in the object's vertex order.
using PrototypeSink = std::function<void(const Prototype&)>;

// Takes bytes of the input buffer that the conversion reads no more.
using SpentInput = std::function<void(Bytes)>;

// What a build reports to and carries from one build to the next.
struct MeshBuildContext {
  OutStream& console;
  const std::string& sourceName;  // first word of every warning
  SplitKey& splitKey;
  // Given the object's vertex and face lists once the build has read them
  // for the last time; may be empty.
  const SpentInput& spent;
};

// Builds the object's faces into `first` (which has no vertices or faces
// yet) and its continuations, handing each one to `finished`. The build
// spends the object, so that its arrays never stand beside their converted
// copies: the bytes of its lists in the input buffer, but for the texture
// coordinates, go to context.spent once the corners have their entries (the
// vertex list and its count going), the face list is released once the
// prototype's faces are made (its counts becoming 0), and the texture
// coordinates go at the end.
void build_mesh(const MeshBuildContext& context, PolygonObject&& object, const BuildOptions& options,
                Prototype first, const PrototypeSink& finished);

// The file name part of a texture path (after the last "\" or "/"), cut to
// 399 characters, with the extension rule applied when it holds a ".".
std::string texture_base_name(std::string_view path);

}  // namespace facetor
