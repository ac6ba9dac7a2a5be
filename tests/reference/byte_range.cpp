#include "reference/grammar_encoder.hpp"

namespace quorlen::reference {

void GrammarEncoder::scanByteRange() {
  lowByte = 256;
  highByte = 0;
  for (std::int32_t i = 0; i < sequenceLength - 1; ++i) {
    if (sequence[i] > highByte) highByte = sequence[i];
    if (sequence[i] < lowByte) lowByte = sequence[i];
  }
}

}  // namespace quorlen::reference
