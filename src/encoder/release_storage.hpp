// Frees the storage of a container. Writing `container = {}` would not: for a vector
// it assigns an empty list and keeps the capacity.
#pragma once

namespace quorlen {

template <typename Container>
void releaseStorage(Container& container) {
  Container().swap(container);
}

}  // namespace quorlen
