#include "coding/flat_huffman.hpp"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

#include "encoder/release_storage.hpp"

namespace quorlen {

void buildFlatCanonicalCode(const HuffmanCandidates& candidates, CodeTable& table) {
  // Node k < n is the k-th candidate's leaf, node n + b the b-th branch made. The heap
  // and its order are buildHuffmanTree's: the top is the node its list of
  // non-increasing weight would give up next.
  struct Pending {
    std::int64_t weight;
    std::int64_t age;  // a branch's creation count, or minus one minus a leaf's rank
    std::int32_t node;
  };
  const auto takenLater = [](const Pending& a, const Pending& b) {
    return a.weight != b.weight ? a.weight > b.weight : a.age < b.age;
  };
  const auto n = static_cast<std::int32_t>(candidates.size());
  std::vector<Pending> heap;
  heap.reserve(candidates.size());
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
  std::vector<std::array<std::int32_t, 2>> children;  // a branch's first and second child
  children.reserve(candidates.size());
  std::int32_t root = 0;
  for (std::int32_t branches = 0;; ++branches) {
    const Pending first = take();
    if (heap.empty()) {
      root = first.node;
      break;
    }
    const Pending second = take();
    children.push_back({first.node, second.node});
    heap.push_back(Pending{first.weight + second.weight, branches, n + branches});
    std::push_heap(heap.begin(), heap.end(), takenLater);
  }
  releaseStorage(heap);

  // Leaves in depth-first order, first child first, as the tree's walk writes them;
  // only their depth matters, as canonicalizeCodes keeps a code's length alone.
  std::int32_t nextEntry = 0;
  std::vector<std::pair<std::int32_t, std::int32_t>> pending{{root, 0}};  // node, depth
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (node < n) {
      CodeEntry& entry = table.at(nextEntry++);
      entry.code.assign(static_cast<std::size_t>(depth), '0');
      entry.symbol = candidates[static_cast<std::size_t>(node)].first;
      continue;
    }
    const std::array<std::int32_t, 2>& branch = children[static_cast<std::size_t>(node - n)];
    pending.emplace_back(branch[1], depth + 1);
    pending.emplace_back(branch[0], depth + 1);
  }
  releaseStorage(children);
  canonicalizeCodes(table);
}

}  // namespace quorlen
