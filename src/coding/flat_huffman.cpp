#include "coding/flat_huffman.hpp"

#include <array>
#include <utility>
#include <vector>

#include "encoder/release_storage.hpp"

namespace quorlen {

void buildFlatCanonicalCode(const HuffmanCandidates& candidates, CodeTable& table) {
  const auto n = static_cast<std::int32_t>(candidates.size());
  std::vector<std::array<std::int32_t, 2>> children;  // branch b's first and second child
  children.reserve(candidates.size());
  const std::int32_t root = joinLightest(
      candidates, [&](std::int32_t first, std::int32_t second) { children.push_back({first, second}); });

  // Leaves in depth-first order, first child first, as the tree's walk writes them;
  // only their depth matters, as canonicalizeCodes keeps a code's length alone.
  std::int32_t nextEntry = 0;
  std::vector<std::pair<std::int32_t, std::int32_t>> pending{{root, 0}};  // node, depth
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (node < n) {
      CodeEntry& entry = table.at(nextEntry++);
      entry.code = CodeWord{0, depth};
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
