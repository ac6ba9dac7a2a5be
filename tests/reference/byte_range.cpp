// The byte range, found with the standard algorithm over the input bytes (the symbols
// before EndSentinel). An empty input keeps the encoder's start values 256 and 0.
#include <algorithm>
#include <span>

#include "reference/grammar_encoder.hpp"

namespace quorlen::reference {

void GrammarEncoder::scanByteRange() {
  const std::span<const std::int32_t> bytes(sequence, static_cast<std::size_t>(sequenceLength - 1));
  lowByte = 256;
  highByte = 0;
  if (bytes.empty()) return;
  const auto [low, high] = std::minmax_element(bytes.begin(), bytes.end());
  lowByte = *low;
  highByte = *high;
}

}  // namespace quorlen::reference
