#include <utility>

#include "io/tree_release.h"
#include "mesh/mesh_store.h"

namespace facetor {

ModelNode::~ModelNode() { release_descendants(*this); }

std::unique_ptr<ModelNode> node_create() { return std::make_unique<ModelNode>(); }

ModelNode* node_add_child(ModelNode& parent, std::unique_ptr<ModelNode> child) {
  parent.children.push_front(std::move(child));
  return parent.children.front().get();
}

void node_set_collision(ModelNode& node, std::int32_t value) { node.collision = value; }

void node_set_opacity_fix(ModelNode& node, bool flag) { node.opacityFix = flag; }

void node_free_tree(std::unique_ptr<ModelNode> root) { root.reset(); }

}  // namespace facetor
