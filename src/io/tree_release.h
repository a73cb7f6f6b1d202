// The release of a tree whose nodes own their children through
// std::unique_ptr in a `children` container, without recursion: a node's
// destructor hands its children to an explicit work list, so a deep tree
// never recurses through destructors or exhausts the call stack.
#pragma once

#include <memory>
#include <utility>
#include <vector>

namespace facetor {

// Call from Node's destructor with the node's own children.
template <class Node, class Children>
void release_children(Children& children) {
  std::vector<std::unique_ptr<Node>> pending;
  for (auto& child : children) pending.push_back(std::move(child));
  children.clear();
  while (!pending.empty()) {
    std::unique_ptr<Node> node = std::move(pending.back());
    pending.pop_back();
    for (auto& child : node->children) pending.push_back(std::move(child));
    node->children.clear();
  }
}

}  // namespace facetor
