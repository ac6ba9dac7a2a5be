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
    const auto size = slot == -1 ? 0 : lengthCodes.at(slot).code.size();
    stream.putBits(toBitString(size, lengthWidth));
  }
  for (std::int32_t s = lowByte; s <= lastSymbol; ++s) {
    stream.putBits(lengthCodes.at(lengthCodeSlot.at(codeLength(s))).code);
  }

  // The rule list writes a code per body symbol, millions of them: each symbol's code
  // is read off its BitString once, as a number and a length. A symbol without a code
  // has length 0 and writes nothing, as its empty code would. The code table is not
  // read again: its strings go before the rules are written, while the stream grows.
  // (16 MiB of random bytes, a million codes: the later phases' peak went from 164 to
  // 153 MiB against one 16-byte record per symbol beside the table kept to the end.)
  std::vector<std::uint64_t> codeValue(static_cast<std::size_t>(lastSymbol) + 1);
  std::vector<std::uint8_t> codeBits(static_cast<std::size_t>(lastSymbol) + 1);
  for (std::int32_t j = 0; j < symbolCodes.count(); ++j) {
    const CodeEntry& entry = symbolCodes.at(j);
    codeValue[static_cast<std::size_t>(entry.symbol)] = bitStringValue(entry.code);
    codeBits[static_cast<std::size_t>(entry.symbol)] = static_cast<std::uint8_t>(entry.code.size());
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
    const std::span<const std::int32_t> body(ruleBody.at(e).data(), static_cast<std::size_t>(bodyLength.at(e)));
    if (runRule.at(e)) {
      put(finalSymbol(body[0]));
      put(runMarker());
      stream.putBits(lengthPrefixedBits(static_cast<std::int32_t>(body.size())));
      continue;
    }
    for (const std::int32_t x : body) put(finalSymbol(x));
    put(endRuleMarker());
  }
  put(endStreamMarker());
}

}  // namespace quorlen
