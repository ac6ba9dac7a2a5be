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
//
// Two queues instead of a heap: the leaves sorted once in taking order, and the
// branches in creation order, whose weights never decrease (each is the sum of the two
// lightest nodes). The branches of the lightest weight are then a stretch of that
// queue, taken newest first; once one of them is taken no new branch can join the
// stretch, as every node left weighs at least as much, so the sum weighs more. On
// h16's symbol code (201 K candidates) the joins took 58 ms with a heap, 20 ms so
// (16 MiB of random bytes, 500 K candidates: 137 ms, 29 ms).
template <typename Join>
std::int32_t joinLightest(const HuffmanCandidates& candidates, Join&& join) {
  const auto n = static_cast<std::int32_t>(candidates.size());
  // Leaves by weight, the larger value first among equal weights, as one sort key.
  std::vector<std::uint64_t> leafOrder(candidates.size());
  for (std::int32_t k = 0; k < n; ++k) {
    const auto weight = static_cast<std::uint64_t>(candidates[static_cast<std::size_t>(k)].second);
    leafOrder[static_cast<std::size_t>(k)] = weight << 32 | static_cast<std::uint32_t>(n - 1 - k);
  }
  std::sort(leafOrder.begin(), leafOrder.end());
  std::vector<std::int64_t> branchWeight;
  branchWeight.reserve(candidates.size());

  std::size_t nextLeaf = 0;
  // Branches [stretchLow, stretchTop) are the untaken part of the lightest stretch,
  // taken from the top; branches from stretchEnd on belong to no stretch yet.
  std::size_t stretchLow = 0, stretchTop = 0, stretchEnd = 0;
  const auto lightestBranch = [&]() -> bool {
    if (stretchLow == stretchTop) stretchLow = stretchTop = stretchEnd;
    if (stretchTop == stretchEnd) {  // nothing taken from the stretch: it may still grow
      while (stretchEnd < branchWeight.size() &&
             (stretchEnd == stretchLow || branchWeight[stretchEnd] == branchWeight[stretchLow])) {
        ++stretchEnd;
      }
      stretchTop = stretchEnd;
    }
    return stretchLow < stretchTop;
  };
  struct Taken {
    std::int64_t weight;
    std::int32_t node;
  };
  const auto take = [&]() -> Taken {
    const bool branchLeft = lightestBranch();
    const bool leafLeft = nextLeaf < leafOrder.size();
    if (branchLeft && (!leafLeft || branchWeight[stretchTop - 1] <= static_cast<std::int64_t>(leafOrder[nextLeaf] >> 32))) {
      --stretchTop;
      return {branchWeight[stretchTop], n + static_cast<std::int32_t>(stretchTop)};
    }
    const std::uint64_t key = leafOrder[nextLeaf++];
    return {static_cast<std::int64_t>(key >> 32), n - 1 - static_cast<std::int32_t>(key & 0xFFFFFFFFu)};
  };
  const auto nothingLeft = [&]() { return nextLeaf == leafOrder.size() && !lightestBranch(); };
  for (;;) {
    const Taken first = take();
    if (nothingLeft()) return first.node;
    const Taken second = take();
    join(first.node, second.node);
    branchWeight.push_back(first.weight + second.weight);
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
