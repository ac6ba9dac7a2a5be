#include "coding/huffman_tree.hpp"

#include <algorithm>
#include <utility>

namespace quorlen {

void HuffmanLeaf::assignCodes(std::int32_t& nextEntry, CodeWord& prefix, CodeTable& table) const {
  CodeEntry& entry = table.at(nextEntry++);
  entry.code = prefix;
  entry.symbol = symbol;
}

// Only the lengths outlive canonicalizeCodes, so a path deeper than 64 may lose its
// upper bits here.
void HuffmanBranch::assignCodes(std::int32_t& nextEntry, CodeWord& prefix, CodeTable& table) const {
  prefix.bits <<= 1;
  ++prefix.length;
  firstChild->assignCodes(nextEntry, prefix, table);
  prefix.bits |= 1;
  secondChild->assignCodes(nextEntry, prefix, table);
  prefix.bits >>= 1;
  --prefix.length;
}

std::unique_ptr<HuffmanNode> buildHuffmanTree(const HuffmanCandidates& candidates) {
  std::vector<std::unique_ptr<HuffmanNode>> nodes;
  nodes.reserve(candidates.size() * 2);
  for (const auto& [value, weight] : candidates) nodes.push_back(std::make_unique<HuffmanLeaf>(weight, value));
  const std::int32_t root = joinLightest(candidates, [&](std::int32_t first, std::int32_t second) {
    nodes.push_back(std::make_unique<HuffmanBranch>(std::move(nodes[static_cast<std::size_t>(first)]),
                                                    std::move(nodes[static_cast<std::size_t>(second)])));
  });
  return std::move(nodes[static_cast<std::size_t>(root)]);
}

void canonicalizeCodes(CodeTable& table) {
  const std::int32_t n = table.count();
  std::vector<CodeEntry*> order;
  order.reserve(static_cast<std::size_t>(n));
  for (std::int32_t j = 0; j < n; ++j) order.push_back(&table.at(j));
  std::sort(order.begin(), order.end(), [](const CodeEntry* a, const CodeEntry* b) {
    if (a->code.length != b->code.length) return a->code.length < b->code.length;
    return a->symbol < b->symbol;
  });
  std::uint64_t value = 0;
  std::int32_t previousLength = 0;
  for (CodeEntry* entry : order) {
    const std::int32_t length = entry->code.length;
    if (length != previousLength) {
      value <<= (length - previousLength);
      previousLength = length;
    }
    entry->code.bits = value;
    ++value;
  }
}

void buildCanonicalCode(const HuffmanCandidates& candidates, CodeTable& table) {
  std::int32_t nextEntry = 0;
  CodeWord prefix;
  {
    const std::unique_ptr<HuffmanNode> root = buildHuffmanTree(candidates);
    root->assignCodes(nextEntry, prefix, table);
  }
  canonicalizeCodes(table);
}

}  // namespace quorlen
