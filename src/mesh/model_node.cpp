#include <utility>
#include <vector>

#include "mesh/mesh_store.h"

namespace facetor {

// Children are released from an explicit work list, so a deep tree never
// recurses through destructors.
ModelNode::~ModelNode() {
  std::vector<std::unique_ptr<ModelNode>> pending;
  for (auto& child : children) pending.push_back(std::move(child));
  children.clear();
  while (!pending.empty()) {
    std::unique_ptr<ModelNode> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children) pending.push_back(std::move(child));
    node->children.clear();
  }
}

std::unique_ptr<ModelNode> node_create() { return std::make_unique<ModelNode>(); }

ModelNode* node_add_child(ModelNode& parent, std::unique_ptr<ModelNode> child) {
  parent.children.push_front(std::move(child));
  return parent.children.front().get();
}

void node_set_collision(ModelNode& node, std::int32_t value) { node.collision = value; }

void node_set_opacity_fix(ModelNode& node, bool flag) { node.opacityFix = flag; }

void node_free_tree(std::unique_ptr<ModelNode> root) { root.reset(); }

}  // namespace facetor
