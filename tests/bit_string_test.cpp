#include "bitio/bit_string.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace quorlen {
namespace {

TEST(ToBitStringTest, ZeroOrNegativeWidthIsEmpty) {
  EXPECT_EQ(toBitString(0, 0), "");
  EXPECT_EQ(toBitString(12345, 0), "");
  EXPECT_EQ(toBitString(1, -3), "");
}

TEST(ToBitStringTest, MostSignificantBitFirstWithLeadingZeros) {
  EXPECT_EQ(toBitString(5, 3), "101");
  EXPECT_EQ(toBitString(5, 6), "000101");
  EXPECT_EQ(toBitString(1, 1), "1");
  EXPECT_EQ(toBitString(0, 4), "0000");
  EXPECT_EQ(toBitString(97, 8), "01100001");
}

TEST(ToBitStringTest, OnlyTheLowBitsTakePart) {
  EXPECT_EQ(toBitString(255, 8), "11111111");
  EXPECT_EQ(toBitString(256, 8), "00000000");
  EXPECT_EQ(toBitString(6, 2), "10");
}

TEST(ToBitStringTest, ThirtyTwoBitsAndBeyondStayExact) {
  EXPECT_EQ(toBitString(0xFFFFFFFFu, 32), std::string(32, '1'));
  EXPECT_EQ(toBitString(0x80000000u, 32), "1" + std::string(31, '0'));
  // Canonical codes deeper than 32 bits need the wider values.
  EXPECT_EQ(toBitString(std::uint64_t{1} << 38, 39), "1" + std::string(38, '0'));
  EXPECT_EQ(toBitString((std::uint64_t{1} << 39) - 2, 39), std::string(38, '1') + "0");
  EXPECT_EQ(toBitString(1, 40), std::string(39, '0') + "1");
}

TEST(LengthPrefixedBitsTest, ZeroIsFiveZeroBits) { EXPECT_EQ(lengthPrefixedBits(0), "00000"); }

TEST(LengthPrefixedBitsTest, FiveBitLengthThenTheValueWithoutLeadingZeros) {
  EXPECT_EQ(lengthPrefixedBits(1), "000011");
  EXPECT_EQ(lengthPrefixedBits(2), "0001010");
  EXPECT_EQ(lengthPrefixedBits(3), "0001011");
  EXPECT_EQ(lengthPrefixedBits(4), "00011100");
  EXPECT_EQ(lengthPrefixedBits(5), "00011101");
  EXPECT_EQ(lengthPrefixedBits(11), "001001011");
  EXPECT_EQ(lengthPrefixedBits(255), "01000" + std::string(8, '1'));
  EXPECT_EQ(lengthPrefixedBits(256), "01001" "100000000");
}

TEST(LengthPrefixedBitsTest, LargestPositiveValueHasThirtyOneBits) {
  EXPECT_EQ(lengthPrefixedBits(INT32_MAX), "11111" + std::string(31, '1'));
}

TEST(BitLengthTest, CountsSignificantBits) {
  EXPECT_EQ(bitLength(0), 0);
  EXPECT_EQ(bitLength(1), 1);
  EXPECT_EQ(bitLength(2), 2);
  EXPECT_EQ(bitLength(3), 2);
  EXPECT_EQ(bitLength(4), 3);
  EXPECT_EQ(bitLength(7), 3);
  EXPECT_EQ(bitLength(8), 4);
  EXPECT_EQ(bitLength(INT32_MAX), 31);
}

TEST(BitStringValueTest, ReadsBackWhatToBitStringWrote) {
  EXPECT_EQ(bitStringValue(""), 0u);
  EXPECT_EQ(bitStringValue("0"), 0u);
  EXPECT_EQ(bitStringValue("110"), 6u);
  for (const std::uint64_t value : {std::uint64_t{0x5A}, std::uint64_t{1} << 39, ~std::uint64_t{0}}) {
    EXPECT_EQ(bitStringValue(toBitString(value, 64)), value);
    EXPECT_EQ(bitStringValue(toBitString(value, 40)), value & ((std::uint64_t{1} << 40) - 1));
  }
}

}  // namespace
}  // namespace quorlen
