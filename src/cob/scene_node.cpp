#include <utility>
#include <vector>

#include "cob/scene.h"

namespace facetor {

// Children are released from an explicit work list, so a deep tree never
// recurses through destructors.
SceneNode::~SceneNode() {
  std::vector<std::unique_ptr<SceneNode>> pending;
  for (auto& child : children) pending.push_back(std::move(child));
  children.clear();
  while (!pending.empty()) {
    std::unique_ptr<SceneNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children) pending.push_back(std::move(child));
    node->children.clear();
  }
}

void free_scene(std::unique_ptr<SceneNode> root) { root.reset(); }

}  // namespace facetor
