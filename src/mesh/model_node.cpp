#include <utility>

#include "io/tree_release.h"
#include "mesh/mesh_store.h"

namespace facetor {

ModelNode::~ModelNode() { release_descendants(*this); }

ModelNode* node_add_child(ModelNode& parent, std::unique_ptr<ModelNode> child) {
  parent.children.push_back(std::move(child));
  return parent.children.back().get();
}

}  // namespace facetor
