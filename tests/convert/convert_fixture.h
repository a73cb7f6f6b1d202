// Runs the RWX conversion on a COB file composed in memory and gives access
// to the written text, the console warnings and the converted model tree.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "convert/conversion.h"
#include "support/cob_builder.h"
#include "support/scene_chunks.h"

namespace facetor::test {

inline std::string plain_lines(const std::string& text) {
  std::string plain;
  plain.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain += text[i];
  }
  return plain;
}

struct Conversion {
  ConversionState state;
  OutStream out = out_memory(StreamMode::Text);
  OutStream console = out_memory(StreamMode::Binary);

  int run(const CobFile& file, const std::string& source = "test.cob") {
    state.writer.out = &out;
    return load_and_convert(state, console, source, file.span());
  }
  std::string text() const { return plain_lines(out_contents(out)); }
  std::string warnings() const { return out_contents(console); }
  const ModelNode& root() const { return *state.modelRoot; }
};

// Every prototype of the model tree, depth first, each node's list in order.
inline std::vector<const Prototype*> all_protos(const ModelNode& root) {
  std::vector<const Prototype*> found;
  std::function<void(const ModelNode&)> visit = [&](const ModelNode& node) {
    for (const PrototypeRef& proto : node.protos) found.push_back(proto.get());
    for (const auto& child : node.children) visit(*child);
  };
  visit(root);
  return found;
}

// The one prototype with this (cleaned) name; fails the test when there is
// not exactly one.
const Prototype& proto_named(const ModelNode& root, const std::string& name);

// The model node that lists the prototype with this name, or null.
const ModelNode* node_holding(const ModelNode& root, const std::string& name);

// A face's corner indices in their written order.
inline std::vector<std::uint32_t> corners_of(const MeshFace& face) { return face.corners; }

inline MaterialSpec material(std::uint16_t number) {
  MaterialSpec spec;
  spec.number = number;
  return spec;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace facetor::test
