// The canonical Huffman code of every symbol the stream holds, weighted by how
// often the stream writer will write it.
#include "coding/flat_huffman.hpp"

namespace quorlen {

void GrammarEncoder::buildSymbolCode() {
  const std::int32_t first = firstRuleSymbol();
  const std::int32_t lastSymbol = highByte + ruleCount + 3;
  IntArray weight;
  for (std::int32_t s = 0; s <= lastSymbol; ++s) weight.at(s) = 0;
  for (std::int32_t k = 0; k < ruleCount; ++k) {
    const std::int32_t r = ruleOrder.at(k);
    const std::span<const std::int32_t> symbols = body(r);
    if (runRule.at(r)) {
      ++weight.at(first + finalNumber.at(symbols[0] - first));
      ++weight.at(runMarker());
      continue;
    }
    for (const std::int32_t x : symbols) ++weight.at(x < first ? x : first + finalNumber.at(x - first));
    ++weight.at(endRuleMarker());
  }
  ++weight.at(endStreamMarker());

  HuffmanCandidates candidates;
  for (std::int32_t s = 0; s <= lastSymbol; ++s) {
    if (weight.at(s) != 0) candidates.emplace_back(s, weight.at(s));
  }
  weight.clear();
  // Sized at once: growing by doubling would hold the old entries and twice as many
  // new ones together.
  symbolCodes.ensure(static_cast<std::int32_t>(candidates.size()) - 1);
  buildFlatCanonicalCode(candidates, symbolCodes);
  for (std::int32_t s = 0; s <= lastSymbol; ++s) symbolCodeSlot.at(s) = -1;
  for (std::int32_t j = 0; j < symbolCodes.count(); ++j) symbolCodeSlot.at(symbolCodes.at(j).symbol) = j;
}

}  // namespace quorlen
