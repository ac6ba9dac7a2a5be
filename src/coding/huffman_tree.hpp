// Huffman trees: leaves code one value, a branch owns its two children.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "bitio/bit_string.hpp"
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
  virtual void assignCodes(std::int32_t& nextEntry, BitString& prefix, CodeTable& table) const = 0;

  std::int64_t weight;  // 64 bits: the sum of all weights may pass 2^31 on huge inputs
};

class HuffmanLeaf final : public HuffmanNode {
 public:
  HuffmanLeaf(std::int32_t weight, std::int32_t symbol) : HuffmanNode(weight), symbol(symbol) {}
  void assignCodes(std::int32_t& nextEntry, BitString& prefix, CodeTable& table) const override;

  std::int32_t symbol;
};

class HuffmanBranch final : public HuffmanNode {
 public:
  HuffmanBranch(std::unique_ptr<HuffmanNode> first, std::unique_ptr<HuffmanNode> second)
      : HuffmanNode(first->weight + second->weight), firstChild(std::move(first)), secondChild(std::move(second)) {}
  void assignCodes(std::int32_t& nextEntry, BitString& prefix, CodeTable& table) const override;

  std::unique_ptr<HuffmanNode> firstChild;
  std::unique_ptr<HuffmanNode> secondChild;
};

// (value, weight) pairs in increasing value order, every weight positive, at least one.
using HuffmanCandidates = std::vector<std::pair<std::int32_t, std::int32_t>>;

// Builds the tree by repeatedly joining the two lightest nodes, the first one taken
// becoming the first child. The order of taking is that of a list kept in
// non-increasing weight order, taken from its back, in which each new branch is
// placed behind every node of its own weight: among equal weights a branch goes
// before a leaf, a newer branch before an older one, and a leaf of larger value
// before a smaller one.
std::unique_ptr<HuffmanNode> buildHuffmanTree(const HuffmanCandidates& candidates);

// Replaces every code of table entries 0 .. count-1 by the canonical code of the same
// length: codes handed out in order of (length, symbol). Entries keep their places.
void canonicalizeCodes(CodeTable& table);

// Fills `table` with the canonical codes of `candidates`, in tree-walk order.
void buildCanonicalCode(const HuffmanCandidates& candidates, CodeTable& table);

}  // namespace quorlen
