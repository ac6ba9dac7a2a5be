// Builds compressed streams field by field, so that tests can make valid grammars of
// any shape and then spoil exactly one field.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "common/stream_format.hpp"

namespace quorlen::test {

// One item of the rule list: a symbol, written with its code, or a length-prefixed number.
struct Token {
  bool number = false;
  std::uint32_t value = 0;
};

struct StreamFields {
  std::uint32_t lowByte = 0;
  std::uint32_t highByte = 0;
  std::uint32_t ruleCount = 0;
  // Code length of each symbol lowByte .. lowByte + symbolTableSize - 1.
  std::vector<std::uint32_t> symbolLengths;
  // Code length of each code length value; computed from symbolLengths when empty.
  std::vector<std::uint32_t> lengthEntries;
  std::optional<std::uint32_t> lengthWidth;       // default: just wide enough
  std::optional<std::uint32_t> symbolTableSize;   // default: from the byte range and ruleCount
  std::vector<Token> rules;                       // the rule list, markers included
  bool endMarker = true;
  std::uint32_t paddingValue = 0;                 // bits placed in the padding
  std::vector<std::uint8_t> trailing;             // bytes after the padded end

  std::uint32_t runMarker() const { return highByte + format::kRunMarkerOffset; }
  std::uint32_t endRule() const { return highByte + format::kEndRuleMarkerOffset; }
  std::uint32_t endStream() const { return highByte + format::kEndStreamMarkerOffset; }
  std::uint32_t rule(std::uint32_t k) const { return highByte + format::kFirstRuleOffset + k; }
};

// A grammar in the stream's own terms: rule k's record, either a body of symbols
// (bytes and rule(j) values) or a run.
struct RuleRecord {
  std::vector<std::uint32_t> body;
  bool run = false;
  std::uint32_t runFirst = 0;
  std::uint32_t runLength = 0;
};

// Fields of a valid stream for the grammar: symbol counts as the encoder makes them,
// Huffman code lengths over them (any optimal code will do).
StreamFields fieldsFor(std::uint32_t lowByte, std::uint32_t highByte, const std::vector<RuleRecord>& rules);

std::vector<std::uint8_t> serialize(const StreamFields& fields);

// The code-length code serialize() uses for these symbol lengths.
std::vector<std::uint32_t> lengthEntriesFor(const std::vector<std::uint32_t>& symbolLengths);

// Canonical codes (RFC 1951 order) for the lengths.
std::vector<std::uint64_t> canonicalCodes(const std::vector<std::uint32_t>& lengths);

// Replaces `count` bits at bit position `from` by the '0'/'1' characters of `bits`,
// re-padding the end with zero bits.
std::vector<std::uint8_t> replaceBits(const std::vector<std::uint8_t>& stream, std::size_t from, std::size_t count,
                                      const char* bits);

// Code lengths of a Huffman code over the weights (0 weight: no code).
std::vector<std::uint32_t> huffmanLengths(const std::vector<std::uint64_t>& weights);

}  // namespace quorlen::test
