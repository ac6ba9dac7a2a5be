#include "reference/huffman_tree.hpp"

#include <algorithm>
#include <map>

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

// Counts the codes of each length, derives the first code of every length from the
// counts (RFC 1951, 3.2.2), then hands out codes in increasing symbol order.
void canonicalizeCodes(CodeTable& table) {
  std::map<std::int32_t, CodeEntry*> bySymbol;
  std::map<std::size_t, std::uint64_t> countOfLength;
  for (std::int32_t j = 0; j < table.count(); ++j) {
    CodeEntry& entry = table.at(j);
    bySymbol[entry.symbol] = &entry;
    ++countOfLength[entry.code.size()];
  }
  const std::size_t longest = countOfLength.empty() ? 0 : countOfLength.rbegin()->first;
  std::vector<std::uint64_t> nextCode(longest + 1, 0);
  std::uint64_t code = 0;
  for (std::size_t length = 1; length <= longest; ++length) {
    const auto shorter = countOfLength.find(length - 1);
    // Length 0 is a lone root's empty code, which takes no room among the others.
    code = (code + (length > 1 && shorter != countOfLength.end() ? shorter->second : 0)) << 1;
    nextCode[length] = code;
  }
  for (auto& [symbol, entry] : bySymbol) {
    const std::size_t length = entry->code.size();
    entry->code = toBitString(nextCode[length]++, static_cast<std::int32_t>(length));
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
