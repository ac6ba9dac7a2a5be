// The priority queue of one pass's candidate pairs.
#pragma once

#include <cstdint>
#include <vector>

namespace quorlen::reference {

// One distinct pair of a pass: a run of equal entries in the sorted pair slots.
struct PairGroup {
  std::int32_t firstSlot = -1;  // index of the group's first sorted slot
  std::int32_t slotCount = -1;  // every occurrence, overlapping ones included
  std::int32_t useCount = -1;   // non-overlapping occurrences, counted left to right
};

// Higher use count first; among equal counts the group that sorts first.
inline bool outranks(const PairGroup& a, const PairGroup& b) {
  return a.useCount > b.useCount || (a.useCount == b.useCount && a.firstSlot < b.firstSlot);
}

// A binary max-heap on `outranks`, whose storage grows by doubling from 16 items
// and is kept when the heap is emptied.
class PairHeap {
 public:
  PairHeap() : items_(16) {}

  void push(const PairGroup& group);
  void pop();
  const PairGroup& top() const { return items_[0]; }
  bool empty() const { return count_ == 0; }
  std::int32_t count() const { return count_; }
  std::int32_t capacity() const { return static_cast<std::int32_t>(items_.size()); }
  void clear() { count_ = 0; }

 private:
  std::vector<PairGroup> items_;
  std::int32_t count_ = 0;
};

}  // namespace quorlen::reference
