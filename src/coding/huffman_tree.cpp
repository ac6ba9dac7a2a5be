#include "coding/huffman_tree.hpp"

#include <algorithm>

namespace quorlen {

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
  struct Pending {
    std::int64_t weight;
    std::int64_t age;  // a branch's creation count, or minus one minus a leaf's rank
    std::size_t node;
  };
  // The top of the heap is the node the list would give up next.
  const auto takenLater = [](const Pending& a, const Pending& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.age < b.age;
  };
  std::vector<std::unique_ptr<HuffmanNode>> nodes;
  std::vector<Pending> heap;
  nodes.reserve(candidates.size() * 2);
  heap.reserve(candidates.size());
  for (const auto& [value, weight] : candidates) {
    // Candidates come in increasing value order, so a larger rank is a larger value.
    heap.push_back(Pending{weight, -1 - static_cast<std::int64_t>(candidates.size() - nodes.size()), nodes.size()});
    nodes.push_back(std::make_unique<HuffmanLeaf>(weight, value));
  }
  std::make_heap(heap.begin(), heap.end(), takenLater);
  const auto take = [&]() {
    std::pop_heap(heap.begin(), heap.end(), takenLater);
    const std::size_t node = heap.back().node;
    heap.pop_back();
    return std::move(nodes[node]);
  };
  for (std::int64_t branches = 0;; ++branches) {
    std::unique_ptr<HuffmanNode> first = take();
    if (heap.empty()) return first;
    std::unique_ptr<HuffmanNode> second = take();
    auto branch = std::make_unique<HuffmanBranch>(std::move(first), std::move(second));
    heap.push_back(Pending{branch->weight, branches, nodes.size()});
    nodes.push_back(std::move(branch));
    std::push_heap(heap.begin(), heap.end(), takenLater);
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

}  // namespace quorlen
