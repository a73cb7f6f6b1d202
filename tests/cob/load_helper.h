// Loads a composed COB file into a scene tree, keeping what the loader printed.
#pragma once

#include <memory>
#include <string>

#include "cob/scene.h"
#include "io/out_stream.h"
#include "joints/joint_names.h"
#include "support/cob_builder.h"
#include "support/scene_chunks.h"

namespace facetor::test {

struct Loaded {
  std::unique_ptr<SceneNode> root;
  std::string console;
};

inline Loaded load(std::span<const std::uint8_t> bytes) {
  OutStream console = out_memory(StreamMode::Binary);
  Loaded result;
  result.root = load_scene(bytes, console, "model.cob");
  result.console = out_contents(console);
  return result;
}

inline Loaded load(const CobFile& file) { return load(file.span()); }

// A PolH chunk's data for a marker object named name, attached to the root:
// its presence after a load shows that the loop went on past the chunks
// before it.
inline Data marker(std::string_view name) { return polh(name, {{0, 0, 0}}, {}, {}); }

inline MaterialSpec numbered(std::uint16_t number) {
  MaterialSpec spec;
  spec.number = number;
  return spec;
}

inline bool has_root_object(const SceneNode& root, std::string_view name) {
  for (const auto& object : root.objects) {
    if (object->name == name) return true;
  }
  return false;
}

}  // namespace facetor::test
