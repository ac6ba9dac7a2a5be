// The state of one compression: the working sequence, the pair rules made from it,
// the kept and restructured rules and both Huffman codes. Each phase is a member
// operation; the phases run once each, in the order they are declared.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/stream_format.hpp"
#include "bitio/bit_output_stream.hpp"
#include "encoder/offset_array.hpp"
#include "encoder/rule_bodies.hpp"

namespace quorlen {

// Symbols that never reach the stream.
inline constexpr std::int32_t EndSentinel = -1;  // follows the last input symbol
inline constexpr std::int32_t DeletedSlot = -2;  // a slot absorbed by a replacement
// ruleOrder's entry for the root, whose body is the sequence pair replacement left.
inline constexpr std::int32_t kRootRule = -1;

// A Huffman code: the low `length` bits of `bits`, the most significant first. Kept
// as a number, not as text: an input that barely compresses has millions of codes,
// most longer than a string holds inline. On 64 MiB of random bytes (4.8 M codes)
// the symbol code took the process from 528 to 814 MiB with a string per code, a
// heap block each; as numbers, 16 bytes an entry, from 312 to 434 MiB.
struct CodeWord {
  std::uint64_t bits = 0;
  std::int32_t length = 0;
  bool operator==(const CodeWord&) const = default;
};

struct CodeEntry {
  CodeWord code;
  std::int32_t symbol = 0;
};
using CodeTable = OffsetArray<CodeEntry>;
using IntArray = OffsetArray<std::int32_t>;
using FlagArray = OffsetArray<std::uint8_t>;

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
  RuleBodies ruleBodies;
  std::int32_t* sequence;
  std::int32_t sequenceLength;

  // Helpers of the phases, public so that tests can drive them directly.
  void markKept(std::span<const std::int32_t> symbols, std::int32_t parentUses);
  void expandSymbol(std::int32_t rule, std::int32_t symbol, std::int32_t uses);
  void appendToBody(std::int32_t rule, std::int32_t symbol);
  // Gives rule `rule` the body `symbols`, at the end of the block of bodies.
  void setBody(std::int32_t rule, std::span<const std::int32_t> symbols);
  // The first bodyLength(rule) symbols of the rule's body.
  std::span<const std::int32_t> body(std::int32_t rule) {
    return ruleBodies.symbols(rule, bodyLength.at(rule));
  }

 private:
  std::int32_t codeLength(std::int32_t symbol);

  std::vector<std::int32_t> expansionStack_;  // expandSymbol's pending right children
};

}  // namespace quorlen
