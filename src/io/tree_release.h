// The destruction of a tree of nodes that own their children (a `children`
// sequence of std::unique_ptr), without recursion, so a deep tree cannot
// exhaust the call stack, and without allocating, since it runs in
// destructors, also while an allocation failure unwinds.
#pragma once

namespace facetor {

// Destroys every descendant of root, leaving root without children. Walks
// down by the last child, and keeps the way back up in the child's own slot
// of its parent (pointer reversal): each ancestor on the current path holds
// its parent there instead of the child being visited.
template <class Node>
void release_descendants(Node& root) noexcept {
  Node* up = nullptr;  // the parent of current, or null at root
  Node* current = &root;
  for (;;) {
    if (!current->children.empty()) {
      Node* child = current->children.back().release();
      current->children.back().reset(up);
      up = current;
      current = child;
      continue;
    }
    if (current == &root) return;
    Node* parent = up;
    up = parent->children.back().release();
    parent->children.pop_back();
    delete current;  // a leaf now: its destructor has nothing to walk
    current = parent;
  }
}

}  // namespace facetor
