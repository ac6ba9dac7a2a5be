// The canonical Huffman code of the symbol code lengths, and the width in which
// the stream gives the length of each of its codes.
#include "coding/huffman_tree.hpp"

namespace quorlen {

std::int32_t GrammarEncoder::codeLength(std::int32_t symbol) {
  const std::int32_t slot = symbolCodeSlot.at(symbol);
  return slot == -1 ? 0 : symbolCodes.at(slot).code.length;
}

void GrammarEncoder::buildLengthCode() {
  const std::int32_t lastSymbol = highByte + ruleCount + 3;
  for (std::int32_t s = 0; s <= lastSymbol; ++s) ++lengthHistogram.at(codeLength(s));
  if (lengthHistogram.low() != 0) lengthHistogram.at(0) = 0;

  const std::int32_t maxLength = lengthHistogram.low() + lengthHistogram.count() - 1;
  HuffmanCandidates candidates;
  for (std::int32_t l = 0; l <= maxLength; ++l) {
    if (lengthHistogram.at(l) != 0) candidates.emplace_back(l, lengthHistogram.at(l));
  }
  buildCanonicalCode(candidates, lengthCodes);
  for (std::int32_t l = 0; l <= maxLength; ++l) lengthCodeSlot.at(l) = -1;
  for (std::int32_t j = 0; j < lengthCodes.count(); ++j) lengthCodeSlot.at(lengthCodes.at(j).symbol) = j;

  std::int32_t widest = 0;
  for (std::int32_t l = 0; l <= maxLength; ++l) {
    const std::int32_t slot = lengthCodeSlot.at(l);
    if (slot != -1) widest = std::max(widest, lengthCodes.at(slot).code.length);
  }
  lengthWidth = bitLength(static_cast<std::uint64_t>(widest));
}

}  // namespace quorlen
