// The canonical Huffman code of every symbol the stream holds, weighted by how
// often the stream writer will write it.
#include <algorithm>
#include <span>
#include <vector>

#include "coding/flat_huffman.hpp"
#include "encoder/release_storage.hpp"

namespace quorlen {

void GrammarEncoder::buildSymbolCode() {
  const std::int32_t first = firstRuleSymbol();
  const std::int32_t lastSymbol = highByte + ruleCount + 3;
  // Counted through plain spans: with an OffsetArray access per body symbol, each with
  // its window test, h16's count took 21-32 ms, 10-12 ms so (16 MiB of random bytes:
  // 98-116 ms, 56-70 ms).
  // Every rule, stretch rules included, has its final number and run flag by now.
  std::vector<std::int32_t> weight(static_cast<std::size_t>(lastSymbol) + 1);
  const std::span<const std::int32_t> number = finalNumber.cover(0, ruleCount - 1);
  const std::span<const std::uint8_t> isRun = runRule.cover(0, ruleCount - 1);
  const std::span<const std::int32_t> order = ruleOrder.cover(0, ruleCount - 1);
  const auto finalSymbol = [&](std::int32_t x) {
    return static_cast<std::size_t>(x < first ? x : first + number[static_cast<std::size_t>(x - first)]);
  };
  for (std::int32_t k = 0; k < ruleCount; ++k) {
    const std::int32_t r = order[static_cast<std::size_t>(k)];
    const std::span<const std::int32_t> symbols = body(r);
    if (isRun[static_cast<std::size_t>(r)]) {
      ++weight[finalSymbol(symbols[0])];
      ++weight[static_cast<std::size_t>(runMarker())];
      continue;
    }
    for (const std::int32_t x : symbols) ++weight[finalSymbol(x)];
    ++weight[static_cast<std::size_t>(endRuleMarker())];
  }
  ++weight[static_cast<std::size_t>(endStreamMarker())];

  HuffmanCandidates candidates;
  for (std::int32_t s = 0; s <= lastSymbol; ++s) {
    if (weight[static_cast<std::size_t>(s)] != 0) candidates.emplace_back(s, weight[static_cast<std::size_t>(s)]);
  }
  releaseStorage(weight);
  // Sized at once: growing by doubling would hold the old entries and twice as many
  // new ones together.
  symbolCodes.ensure(static_cast<std::int32_t>(candidates.size()) - 1);
  buildFlatCanonicalCode(candidates, symbolCodes);
  const std::span<std::int32_t> slot = symbolCodeSlot.cover(0, lastSymbol);
  std::fill(slot.begin(), slot.end(), -1);
  const std::span<const CodeEntry> codes = symbolCodes.window();
  for (std::size_t j = 0; j < codes.size(); ++j) slot[static_cast<std::size_t>(codes[j].symbol)] = static_cast<std::int32_t>(j);
}

}  // namespace quorlen
