// Huffman trees: leaves code one value, a branch owns its two children.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "encoder/grammar_encoder.hpp"

namespace quorlen {

class HuffmanNode {
 public:
  explicit HuffmanNode(std::int64_t weight) : weight(weight) {}
  virtual ~HuffmanNode() = default;
  HuffmanNode(const HuffmanNode&) = delete;
  HuffmanNode& operator=(const HuffmanNode&) = delete;

  // Writes one table entry per leaf below this node, in depth-first order, first
  // child first; `prefix` is the path so far and is restored on return.
  virtual void assignCodes(std::int32_t& nextEntry, CodeWord& prefix, CodeTable& table) const = 0;

  std::int64_t weight;  // 64 bits: the sum of all weights may pass 2^31 on huge inputs
};

class HuffmanLeaf final : public HuffmanNode {
 public:
  HuffmanLeaf(std::int32_t weight, std::int32_t symbol) : HuffmanNode(weight), symbol(symbol) {}
  void assignCodes(std::int32_t& nextEntry, CodeWord& prefix, CodeTable& table) const override;

  std::int32_t symbol;
};

class HuffmanBranch final : public HuffmanNode {
 public:
  HuffmanBranch(std::unique_ptr<HuffmanNode> first, std::unique_ptr<HuffmanNode> second)
      : HuffmanNode(first->weight + second->weight), firstChild(std::move(first)), secondChild(std::move(second)) {}
  void assignCodes(std::int32_t& nextEntry, CodeWord& prefix, CodeTable& table) const override;

  std::unique_ptr<HuffmanNode> firstChild;
  std::unique_ptr<HuffmanNode> secondChild;
};

// (value, weight) pairs in increasing value order, every weight positive, at least one.
using HuffmanCandidates = std::vector<std::pair<std::int32_t, std::int32_t>>;

// Joins the two lightest nodes until one is left and returns it. Node k < n is the
// k-th candidate's leaf, node n + b the b-th branch, made by join(first, second): the
// first node taken becomes the first child. The order of taking is that of a list
// kept in non-increasing weight order, taken from its back, in which each new branch
// is placed behind every node of its own weight: among equal weights a branch goes
// before a leaf, a newer branch before an older one, and a leaf of larger value
// before a smaller one.
template <typename Join>
std::int32_t joinLightest(const HuffmanCandidates& candidates, Join&& join) {
  struct Pending {
    std::int64_t weight;
    std::int64_t age;  // a branch's creation count, or minus one minus a leaf's rank
    std::int32_t node;
  };
  // The top of the heap is the node the list would give up next.
  const auto takenLater = [](const Pending& a, const Pending& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.age < b.age;
  };
  const auto n = static_cast<std::int32_t>(candidates.size());
  std::vector<Pending> heap;
  heap.reserve(candidates.size());
  // Candidates come in increasing value order, so a larger rank is a larger value.
  for (std::int32_t k = 0; k < n; ++k) {
    heap.push_back(Pending{candidates[static_cast<std::size_t>(k)].second, -1 - static_cast<std::int64_t>(n - k), k});
  }
  std::make_heap(heap.begin(), heap.end(), takenLater);
  const auto take = [&]() {
    std::pop_heap(heap.begin(), heap.end(), takenLater);
    const Pending taken = heap.back();
    heap.pop_back();
    return taken;
  };
  for (std::int32_t branches = 0;; ++branches) {
    const Pending first = take();
    if (heap.empty()) return first.node;
    const Pending second = take();
    join(first.node, second.node);
    heap.push_back(Pending{first.weight + second.weight, branches, n + branches});
    std::push_heap(heap.begin(), heap.end(), takenLater);
  }
}

// The tree of joinLightest's joins.
std::unique_ptr<HuffmanNode> buildHuffmanTree(const HuffmanCandidates& candidates);

// Replaces every code of table entries 0 .. count-1 by the canonical code of the same
// length: codes handed out in order of (length, symbol). Entries keep their places.
void canonicalizeCodes(CodeTable& table);

// Fills `table` with the canonical codes of `candidates`, in tree-walk order.
void buildCanonicalCode(const HuffmanCandidates& candidates, CodeTable& table);

}  // namespace quorlen
