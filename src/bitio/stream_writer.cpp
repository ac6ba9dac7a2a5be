// Writes the whole compressed stream: header, both code tables, the rules in final
// order and the end marker.
#include <algorithm>
#include <cassert>
#include <memory>
#include <span>
#include <vector>

#include "common/prefault.hpp"
#include "common/stream_format.hpp"
#include "encoder/grammar_encoder.hpp"

namespace quorlen {

namespace {

constexpr int kPackedLengthShift = 58;
constexpr std::uint64_t kPackedBitsMask = (std::uint64_t{1} << kPackedLengthShift) - 1;

}  // namespace

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

  // The rule list writes a code per body symbol, millions of them, and the bodies
  // hold rules by index, not by final number: each symbol's code is copied once into
  // an array indexed as the bodies index, value and length packed in 8 bytes. Looking
  // up the final number, then the code in two arrays, cost a miss for the number and
  // two for the code per symbol on an input that barely compresses (16 MiB of random
  // bytes: the writer took 322-455 ms that way, 249-297 ms so; h16 46-70 ms, 40-45
  // ms). A Huffman code longer than 58 bits needs a total weight of Fibonacci(61) >
  // 2^41, far beyond any stream, so the 6 bits from bit 58 up hold the length; a
  // symbol without a code has length 0 and writes nothing. The code table is not read
  // again: it goes before the rules are written, while the stream grows.
  assert(finalNumber.low() == 0 && finalNumber.count() == ruleCount);
  // Both arrays are written in full at once: their pages are mapped in one call each.
  const auto size = static_cast<std::size_t>(lastSymbol) + 1;
  const std::unique_ptr<std::uint64_t[]> packedCode = std::make_unique_for_overwrite<std::uint64_t[]>(size);
  {
    const std::unique_ptr<std::uint64_t[]> byFinalSymbol = std::make_unique_for_overwrite<std::uint64_t[]>(size);
    prefaultForWriting(byFinalSymbol.get(), byFinalSymbol.get() + size);
    std::fill_n(byFinalSymbol.get(), size, 0);
    for (std::int32_t j = 0; j < symbolCodes.count(); ++j) {
      const CodeEntry& entry = symbolCodes.at(j);
      assert(entry.code.length <= kPackedLengthShift);
      byFinalSymbol[static_cast<std::size_t>(entry.symbol)] =
          entry.code.bits | static_cast<std::uint64_t>(entry.code.length) << kPackedLengthShift;
    }
    symbolCodes.clear();
    symbolCodeSlot.clear();
    prefaultForWriting(packedCode.get(), packedCode.get() + size);
    const std::span<const std::int32_t> number = finalNumber.window();
    for (std::int32_t x = 0; x <= lastSymbol; ++x) {
      const std::int32_t finalSymbol = x < first ? x : first + number[static_cast<std::size_t>(x - first)];
      packedCode[static_cast<std::size_t>(x)] = byFinalSymbol[static_cast<std::size_t>(finalSymbol)];
    }
  }
  const auto put = [&](std::int32_t symbol) {
    const std::uint64_t packed = packedCode[static_cast<std::size_t>(symbol)];
    stream.putCode(packed & kPackedBitsMask, static_cast<std::int32_t>(packed >> kPackedLengthShift));
  };

  for (std::int32_t k = 0; k < ruleCount; ++k) {
    const std::int32_t e = ruleOrder.at(k);
    const std::span<const std::int32_t> symbols = body(e);
    if (runRule.at(e)) {
      put(symbols[0]);
      put(runMarker());
      stream.putBits(lengthPrefixedBits(static_cast<std::int32_t>(symbols.size())));
      continue;
    }
    for (const std::int32_t x : symbols) put(x);
    put(endRuleMarker());
  }
  put(endStreamMarker());
}

}  // namespace quorlen
