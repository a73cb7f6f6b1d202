// Runs the RWX conversion on a COB file composed in memory and gives access
// to the written text, the console warnings and the converted model tree.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "convert/conversion.h"
#include "convert/scene_walk.h"
#include "rwx/proto_writer.h"
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

// Converts through the real writer and keeps a copy of every prototype it
// was handed (as written), in order.
struct Conversion {
  ConversionState state;
  OutStream out = out_memory(StreamMode::Text);
  OutStream console = out_memory(StreamMode::Binary);
  std::vector<Prototype> written;

  void run(const CobFile& file, const std::string& source = "test.cob") {
    state.writer.out = &out;
    state.sourceName = source;
    state.modelRoot.reset();
    std::unique_ptr<SceneNode> root = load_scene(file.span(), console, source);
    if (!root) return;
    convert_scene(state, console, root, [this](const Prototype& proto, const ModelNode& node) {
      write_finished(state, proto, node);
      written.push_back(proto);
    });
  }
  std::string text() const { return plain_lines(out_contents(out)); }
  std::string warnings() const { return out_contents(console); }
  const ModelNode& root() const { return *state.modelRoot; }
  // The one written prototype with this (cleaned) name; fails the test when
  // there is not exactly one.
  const Prototype& proto_named(const std::string& name) const;
};

// The name of a node's first (newest) prototype, or "".
inline std::string first_proto(const ModelNode& node) { return node.protos.empty() ? "" : node.protos.front().name; }

// The model node that lists the prototype with this name, or null.
const ModelNode* node_holding(const ModelNode& root, const std::string& name);

// The corners of a prototype's faces, first added first.
inline std::vector<std::vector<std::uint32_t>> faces_of(const Prototype& proto) {
  std::vector<std::vector<std::uint32_t>> faces;
  for (const MeshFace& face : proto.faces) {
    const auto corners = face_corners(proto, face);
    faces.emplace_back(corners.begin(), corners.end());
  }
  return faces;
}

inline MaterialSpec material(std::uint16_t number) {
  MaterialSpec spec;
  spec.number = number;
  return spec;
}

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

}  // namespace facetor::test
