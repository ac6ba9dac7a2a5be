// The code-length code, the plain way: every symbol's code length in a vector, a
// histogram of those lengths, and the Huffman code over the histogram. Symbols below
// lowByte count as length 0, as in the library, although the stream lists lengths
// only from lowByte on.
#include <algorithm>
#include <bit>
#include <vector>

#include "reference/huffman_tree.hpp"

namespace quorlen::reference {

std::int32_t GrammarEncoder::codeLength(std::int32_t symbol) {
  const std::int32_t slot = symbolCodeSlot.at(symbol);
  return slot == -1 ? 0 : static_cast<std::int32_t>(symbolCodes.at(slot).code.size());
}

void GrammarEncoder::buildLengthCode() {
  std::vector<std::int32_t> lengthOf(static_cast<std::size_t>(highByte + ruleCount + 4), 0);
  for (std::int32_t j = 0; j < symbolCodes.count(); ++j) {
    const CodeEntry& entry = symbolCodes.at(j);
    lengthOf[static_cast<std::size_t>(entry.symbol)] = static_cast<std::int32_t>(entry.code.size());
  }
  const std::int32_t longest = *std::max_element(lengthOf.begin(), lengthOf.end());
  std::vector<std::int32_t> histogram(static_cast<std::size_t>(longest) + 1, 0);
  for (const std::int32_t length : lengthOf) ++histogram[static_cast<std::size_t>(length)];

  HuffmanCandidates candidates;
  for (std::int32_t l = 0; l <= longest; ++l) {
    lengthHistogram.at(l) = histogram[static_cast<std::size_t>(l)];  // the window becomes 0 .. longest
    lengthCodeSlot.at(l) = -1;
    if (histogram[static_cast<std::size_t>(l)] != 0) candidates.emplace_back(l, histogram[static_cast<std::size_t>(l)]);
  }
  buildCanonicalCode(candidates, lengthCodes);
  std::size_t widest = 0;
  for (std::int32_t j = 0; j < lengthCodes.count(); ++j) {
    lengthCodeSlot.at(lengthCodes.at(j).symbol) = j;
    widest = std::max(widest, lengthCodes.at(j).code.size());
  }
  lengthWidth = static_cast<std::int32_t>(std::bit_width(widest));
}

}  // namespace quorlen::reference
