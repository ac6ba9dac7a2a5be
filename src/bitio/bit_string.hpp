// Codes and numbers as text strings of '0' and '1', most significant bit first.
#pragma once

#include <cstdint>
#include <string>

namespace quorlen {

using BitString = std::string;

// The low `n` bits of `value`, most significant first; empty when n <= 0.
// The value is 64 bits wide so that Huffman codes longer than 32 bits survive.
BitString toBitString(std::uint64_t value, std::int32_t n);

// Five bits giving the bit length b of `value` (never negative), then the b bits
// of `value` with no leading zero. Zero is five zero bits.
BitString lengthPrefixedBits(std::int32_t value);

// The number that a BitString of at most 64 characters stands for.
std::uint64_t bitStringValue(const BitString& bits);

// Number of significant bits of a non-negative value: 0 for 0, 3 for 4..7.
std::int32_t bitLength(std::uint64_t value);

}  // namespace quorlen
