// Emptying a container together with its memory.
#pragma once

namespace facetor {

// Empties container and gives its memory back. `container = {}` would not:
// for a vector it assigns an empty list and keeps the capacity.
template <class Container>
void release_storage(Container& container) {
  Container().swap(container);
}

}  // namespace facetor
