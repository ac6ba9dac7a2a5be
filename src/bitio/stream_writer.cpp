// Writes the whole compressed stream: header, both code tables, the rules in final
// order and the end marker.
#include <cassert>
#include <span>
#include <vector>

#include "common/stream_format.hpp"
#include "encoder/grammar_encoder.hpp"

namespace quorlen {

void GrammarEncoder::writeStream(BitOutputStream& stream) {
  const std::int32_t first = firstRuleSymbol();
  const std::int32_t lastSymbol = highByte + ruleCount + 3;
  const std::int32_t tableSize = lengthHistogram.low() + lengthHistogram.count();

  stream.putBits(toBitString(static_cast<std::uint64_t>(lowByte), format::kByteValueBits));
  stream.putBits(toBitString(static_cast<std::uint64_t>(highByte), format::kByteValueBits));
  stream.putBits(toBitString(static_cast<std::uint64_t>(tableSize), format::kLengthTableSizeBits));
  stream.putBits(lengthPrefixedBits(highByte - lowByte + ruleCount + 4));
  stream.putBits(toBitString(static_cast<std::uint64_t>(lengthWidth), format::kLengthWidthBits));
  for (std::int32_t j = 0; j < tableSize; ++j) {
    const std::int32_t slot = lengthCodeSlot.at(j);
    const std::int32_t size = slot == -1 ? 0 : lengthCodes.at(slot).code.length;
    stream.putCode(static_cast<std::uint64_t>(size), lengthWidth);
  }
  for (std::int32_t s = lowByte; s <= lastSymbol; ++s) {
    const CodeWord& code = lengthCodes.at(lengthCodeSlot.at(codeLength(s))).code;
    stream.putCode(code.bits, code.length);
  }

  // The rule list writes a code per body symbol, millions of them: each symbol's code
  // is copied once into arrays indexed by symbol, 9 bytes each. A symbol without a
  // code has length 0 and writes nothing. The code table is not read again: it goes
  // before the rules are written, while the stream grows.
  std::vector<std::uint64_t> codeValue(static_cast<std::size_t>(lastSymbol) + 1);
  std::vector<std::uint8_t> codeBits(static_cast<std::size_t>(lastSymbol) + 1);
  for (std::int32_t j = 0; j < symbolCodes.count(); ++j) {
    const CodeEntry& entry = symbolCodes.at(j);
    codeValue[static_cast<std::size_t>(entry.symbol)] = entry.code.bits;
    codeBits[static_cast<std::size_t>(entry.symbol)] = static_cast<std::uint8_t>(entry.code.length);
  }
  symbolCodes.clear();
  symbolCodeSlot.clear();
  const auto put = [&](std::int32_t symbol) {
    const auto s = static_cast<std::size_t>(symbol);
    stream.putCode(codeValue[s], codeBits[s]);
  };
  assert(finalNumber.low() == 0 && finalNumber.count() == ruleCount);
  const std::span<const std::int32_t> number = finalNumber.window();
  const auto finalSymbol = [&](std::int32_t x) {
    return x < first ? x : first + number[static_cast<std::size_t>(x - first)];
  };

  for (std::int32_t k = 0; k < ruleCount; ++k) {
    const std::int32_t e = ruleOrder.at(k);
    const std::span<const std::int32_t> symbols = body(e);
    if (runRule.at(e)) {
      put(finalSymbol(symbols[0]));
      put(runMarker());
      stream.putBits(lengthPrefixedBits(static_cast<std::int32_t>(symbols.size())));
      continue;
    }
    for (const std::int32_t x : symbols) put(finalSymbol(x));
    put(endRuleMarker());
  }
  put(endStreamMarker());
}

}  // namespace quorlen
