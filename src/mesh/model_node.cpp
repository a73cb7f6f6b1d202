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

ModelNode* node_add_child(ModelNode& parent, std::unique_ptr<ModelNode> child) {
  parent.children.push_front(std::move(child));
  return parent.children.front().get();
}

}  // namespace facetor
