#include "reference/huffman_tree.hpp"

#include <algorithm>

namespace quorlen::reference {

void HuffmanLeaf::assignCodes(std::int32_t& nextEntry, BitString& prefix, CodeTable& table) const {
  CodeEntry& entry = table.at(nextEntry++);
  entry.code = prefix;
  entry.symbol = symbol;
}

void HuffmanBranch::assignCodes(std::int32_t& nextEntry, BitString& prefix, CodeTable& table) const {
  prefix.push_back('0');
  firstChild->assignCodes(nextEntry, prefix, table);
  prefix.back() = '1';
  secondChild->assignCodes(nextEntry, prefix, table);
  prefix.pop_back();
}

std::unique_ptr<HuffmanNode> buildHuffmanTree(const HuffmanCandidates& candidates) {
  std::vector<std::unique_ptr<HuffmanNode>> list;
  list.reserve(candidates.size());
  for (const auto& [value, weight] : candidates) list.push_back(std::make_unique<HuffmanLeaf>(weight, value));
  // Stable, so that equal weights keep increasing value order on every platform.
  std::stable_sort(list.begin(), list.end(), [](const auto& a, const auto& b) { return a->weight > b->weight; });
  for (;;) {
    std::unique_ptr<HuffmanNode> first = std::move(list.back());
    list.pop_back();
    if (list.empty()) return first;
    std::unique_ptr<HuffmanNode> second = std::move(list.back());
    list.pop_back();
    list.push_back(std::make_unique<HuffmanBranch>(std::move(first), std::move(second)));
    for (std::size_t i = list.size() - 1; i > 0 && list[i - 1]->weight < list[i]->weight; --i) {
      std::swap(list[i - 1], list[i]);
    }
  }
}

void canonicalizeCodes(CodeTable& table) {
  const std::int32_t n = table.count();
  std::vector<CodeEntry*> order;
  order.reserve(static_cast<std::size_t>(n));
  for (std::int32_t j = 0; j < n; ++j) order.push_back(&table.at(j));
  std::sort(order.begin(), order.end(), [](const CodeEntry* a, const CodeEntry* b) {
    if (a->code.size() != b->code.size()) return a->code.size() < b->code.size();
    return a->symbol < b->symbol;
  });
  std::uint64_t value = 0;
  std::size_t previousLength = 0;
  for (CodeEntry* entry : order) {
    const std::size_t length = entry->code.size();
    if (length != previousLength) {
      value <<= (length - previousLength);
      previousLength = length;
    }
    entry->code = toBitString(value, static_cast<std::int32_t>(length));
    ++value;
  }
}

void buildCanonicalCode(const HuffmanCandidates& candidates, CodeTable& table) {
  std::int32_t nextEntry = 0;
  BitString prefix;
  {
    const std::unique_ptr<HuffmanNode> root = buildHuffmanTree(candidates);
    root->assignCodes(nextEntry, prefix, table);
  }
  canonicalizeCodes(table);
}

}  // namespace quorlen::reference
