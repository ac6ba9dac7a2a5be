// The state of one compression: the working sequence, the pair rules made from it,
// the kept and restructured rules and both Huffman codes. Each phase is a member
// operation; the phases run once each, in the order they are declared.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/stream_format.hpp"
#include "bitio/bit_output_stream.hpp"
#include "bitio/bit_string.hpp"
#include "encoder/offset_array.hpp"

namespace quorlen {

// Symbols that never reach the stream.
inline constexpr std::int32_t EndSentinel = -1;  // follows the last input symbol
inline constexpr std::int32_t DeletedSlot = -2;  // a slot absorbed by a replacement
// ruleOrder's entry for the root, whose body is the sequence pair replacement left.
inline constexpr std::int32_t kRootRule = -1;

struct CodeEntry {
  BitString code;
  std::int32_t symbol = 0;
};
using CodeTable = OffsetArray<CodeEntry>;
using IntArray = OffsetArray<std::int32_t>;
using FlagArray = OffsetArray<std::uint8_t>;
using RuleBody = std::vector<std::int32_t>;  // may hold more symbols than its length

class GrammarEncoder {
 public:
  // `sequence` holds `sequenceLength` symbols: the input bytes, then EndSentinel.
  // The encoder rewrites it in place but does not own it: pair replacement leaves
  // there the root's body, EndSentinel last, read until the rules are expanded.
  GrammarEncoder(std::int32_t* sequence, std::int32_t sequenceLength)
      : sequence(sequence), sequenceLength(sequenceLength) {}

  void scanByteRange();
  void replacePairs();
  void selectRules();
  void expandRules();
  void restructureRuns();
  void buildSymbolCode();
  void buildLengthCode();
  void writeStream(BitOutputStream& stream);  // releases the symbol code table

  std::int32_t firstRuleSymbol() const { return highByte + format::kFirstRuleOffset; }
  std::int32_t runMarker() const { return highByte + format::kRunMarkerOffset; }
  std::int32_t endRuleMarker() const { return highByte + format::kEndRuleMarkerOffset; }
  std::int32_t endStreamMarker() const { return highByte + format::kEndStreamMarkerOffset; }

  std::int32_t lowByte = 256;
  std::int32_t highByte = 0;
  std::int32_t ruleCount = 0;
  std::int32_t lengthWidth = 0;
  IntArray finalNumber;
  FlagArray runRule;
  CodeTable symbolCodes;
  IntArray symbolCodeSlot;
  IntArray lengthHistogram;
  CodeTable lengthCodes;
  IntArray lengthCodeSlot;
  std::int32_t nextSymbol = 0;
  IntArray pairLeft;
  IntArray pairRight;
  IntArray pairUses;
  IntArray keptIndex;
  IntArray ruleOrder;
  IntArray bodyLength;
  OffsetArray<RuleBody> ruleBody;
  std::int32_t* sequence;
  std::int32_t sequenceLength;

  // Helpers of the phases, public so that tests can drive them directly.
  void markKept(std::span<const std::int32_t> symbols, std::int32_t parentUses);
  void expandSymbol(std::int32_t rule, std::int32_t symbol, std::int32_t uses);
  void appendToBody(std::int32_t rule, std::int32_t symbol);

 private:
  std::int32_t codeLength(std::int32_t symbol);

  std::vector<std::int32_t> expansionStack_;  // expandSymbol's pending right children
};

}  // namespace quorlen
