#include "bitio/bit_string.hpp"

#include "common/stream_format.hpp"

namespace quorlen {

BitString toBitString(std::uint64_t value, std::int32_t n) {
  BitString bits;
  if (n <= 0) return bits;
  bits.resize(static_cast<std::size_t>(n));
  for (std::int32_t k = 0; k < n; ++k) {
    const std::int32_t bit = n - 1 - k;
    bits[static_cast<std::size_t>(k)] = bit < 64 && ((value >> bit) & 1u) ? '1' : '0';
  }
  return bits;
}

std::int32_t bitLength(std::uint64_t value) {
  std::int32_t b = 0;
  while (value != 0) {
    ++b;
    value >>= 1;
  }
  return b;
}

std::uint64_t bitStringValue(const BitString& bits) {
  std::uint64_t value = 0;
  for (const char c : bits) value = (value << 1) | (c == '1' ? 1u : 0u);
  return value;
}

BitString lengthPrefixedBits(std::int32_t value) {
  const auto v = static_cast<std::uint64_t>(value);
  const std::int32_t b = bitLength(v);
  return toBitString(static_cast<std::uint64_t>(b), format::kPrefixBits) + toBitString(v, b);
}

}  // namespace quorlen
