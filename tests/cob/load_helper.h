// Loads a composed COB file into a scene tree, keeping what the loader printed.
#pragma once
#include <algorithm>
#include "cob/scene.h"
#include "io/out_stream.h"
#include "support/cob_builder.h"
#include "support/scene_chunks.h"

namespace facetor::test {

struct Loaded {
  std::unique_ptr<SceneNode> root;
  std::string console;
};

inline Loaded load(const CobFile& file) {
  OutStream console = out_memory(StreamMode::Binary);
  auto root = load_scene(file.span(), console, "model.cob");
  return {std::move(root), out_contents(console)};
}

// A one-vertex object: finding it after a load shows the loop went on past the chunks before it.
inline Data marker(std::string_view name) { return polh(name, {{0, 0, 0}}, {}, {}); }

inline bool went_on(const Loaded& loaded) {
  return std::ranges::any_of(loaded.root->objects, [](const auto& o) { return o->name == "after"; });
}

}  // namespace facetor::test
