#include "cob/scene.h"
#include "io/tree_release.h"

namespace facetor {

SceneNode::~SceneNode() { release_children<SceneNode>(children); }

void free_scene(std::unique_ptr<SceneNode> root) { root.reset(); }

}  // namespace facetor
