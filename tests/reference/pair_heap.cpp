#include "reference/pair_heap.hpp"

#include <utility>

namespace quorlen::reference {

void PairHeap::push(const PairGroup& group) {
  if (count_ == capacity()) {
    std::vector<PairGroup> grown(items_.empty() ? 16 : items_.size() * 2);
    std::copy(items_.begin(), items_.begin() + count_, grown.begin());
    items_ = std::move(grown);
  }
  std::int32_t i = count_++;
  items_[static_cast<std::size_t>(i)] = group;
  while (i > 0) {
    const std::int32_t parent = (i - 1) / 2;
    if (!outranks(items_[i], items_[parent])) break;
    std::swap(items_[i], items_[parent]);
    i = parent;
  }
}

void PairHeap::pop() {
  --count_;
  items_[0] = items_[count_];
  if (count_ < 2) return;
  std::int32_t i = 0;
  while (2 * i + 1 < count_) {
    std::int32_t child = 2 * i + 1;
    if (child + 1 < count_ && outranks(items_[child + 1], items_[child])) ++child;
    if (outranks(items_[child], items_[i])) std::swap(items_[child], items_[i]);
    i = child;
  }
}

}  // namespace quorlen::reference
