// Writes the whole compressed stream: header, both code tables, the rules in final
// order and the end marker.
#include "reference/grammar_encoder.hpp"

namespace quorlen::reference {

void GrammarEncoder::writeStream(BitOutputStream& stream) {
  const std::int32_t first = firstRuleSymbol();
  const auto codeOf = [&](std::int32_t symbol) -> const BitString& {
    return symbolCodes.at(symbolCodeSlot.at(symbol)).code;
  };
  const std::int32_t tableSize = lengthHistogram.low() + lengthHistogram.count();

  stream.putBits(toBitString(static_cast<std::uint64_t>(lowByte), 8));
  stream.putBits(toBitString(static_cast<std::uint64_t>(highByte), 8));
  stream.putBits(toBitString(static_cast<std::uint64_t>(tableSize), 8));
  stream.putBits(lengthPrefixedBits(highByte - lowByte + ruleCount + 4));
  stream.putBits(toBitString(static_cast<std::uint64_t>(lengthWidth), 5));
  for (std::int32_t j = 0; j < tableSize; ++j) {
    const std::int32_t slot = lengthCodeSlot.at(j);
    const auto size = slot == -1 ? 0 : lengthCodes.at(slot).code.size();
    stream.putBits(toBitString(size, lengthWidth));
  }
  for (std::int32_t s = lowByte; s < highByte + ruleCount + 4; ++s) {
    stream.putBits(lengthCodes.at(lengthCodeSlot.at(codeLength(s))).code);
  }
  for (std::int32_t k = 0; k < ruleCount; ++k) {
    const std::int32_t e = ruleOrder.at(k);
    const RuleBody& body = ruleBody.at(e);
    if (runRule.at(e)) {
      stream.putBits(codeOf(first + finalNumber.at(body[0] - first)));
      stream.putBits(codeOf(runMarker()));
      stream.putBits(lengthPrefixedBits(bodyLength.at(e)));
      continue;
    }
    for (std::int32_t l = 0; l < bodyLength.at(e); ++l) {
      const std::int32_t x = ruleBody.at(e)[static_cast<std::size_t>(l)];
      stream.putBits(codeOf(x < first ? x : first + finalNumber.at(x - first)));
    }
    stream.putBits(codeOf(endRuleMarker()));
  }
  stream.putBits(codeOf(endStreamMarker()));
}

}  // namespace quorlen::reference
