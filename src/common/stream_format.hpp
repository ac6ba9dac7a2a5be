// The stream's fixed layout, shared by the writer, the parser and the tests: the widths
// of the header fields, and where the markers and rules lie above the highest byte value.
// doc/format.md describes the whole format.
#pragma once

namespace quorlen::format {

inline constexpr unsigned kByteValueBits = 8;        // lowByte, highByte
inline constexpr unsigned kLengthTableSizeBits = 8;  // lengthTableSize
inline constexpr unsigned kLengthWidthBits = 5;      // lengthWidth
inline constexpr unsigned kPrefixBits = 5;           // the bit width before a length-prefixed number

// Symbols above highByte, in this order; rule k is kFirstRuleOffset + k above it.
inline constexpr int kRunMarkerOffset = 1;
inline constexpr int kEndRuleMarkerOffset = 2;
inline constexpr int kEndStreamMarkerOffset = 3;
inline constexpr int kFirstRuleOffset = 4;

}  // namespace quorlen::format
