// The code of the symbol code lengths and the width of its table entries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder_fixture.hpp"

namespace quorlen::test_support {
namespace {

template <typename Encoder>
class LengthCodeTest : public ::testing::Test {
 protected:
  // A symbol code given by hand: `lengths`[s] is the code length of symbol s, with
  // -1 for a symbol without a code. The symbol space is highByte + ruleCount + 4.
  static HandMadeEncoder<Encoder> withLengths(std::int32_t highByte, std::int32_t ruleCount,
                                             const std::vector<int>& lengths) {
    HandMadeEncoder<Encoder> g(highByte);
    g->ruleCount = ruleCount;
    std::int32_t next = 0;
    for (std::int32_t s = 0; s < static_cast<std::int32_t>(lengths.size()); ++s) {
      const int length = lengths[static_cast<std::size_t>(s)];
      if (length < 0) {
        g->symbolCodeSlot.at(s) = -1;
        continue;
      }
      g->symbolCodes.at(next).symbol = s;
      setCode(g->symbolCodes.at(next).code, std::string(static_cast<std::size_t>(length), '1'));
      g->symbolCodeSlot.at(s) = next++;
    }
    return g;
  }

  struct Code {
    std::int32_t length;
    std::string bits;
    bool operator==(const Code&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Code& c) { return out << c.length << ":\"" << c.bits << "\""; }
  };
  static std::vector<Code> lengthCodes(Encoder& e) {
    std::vector<Code> codes;
    for (std::int32_t j = 0; j < e.lengthCodes.count(); ++j) codes.push_back({e.lengthCodes.at(j).symbol, codeText(e.lengthCodes.at(j).code)});
    return codes;
  }
  static std::vector<std::int32_t> window(IntArray& array) {
    std::vector<std::int32_t> values;
    for (std::int32_t i = array.low(); i < array.low() + array.count(); ++i) values.push_back(array.at(i));
    return values;
  }
};

using Encoders = ::testing::Types<GrammarEncoder, reference::GrammarEncoder>;
TYPED_TEST_SUITE(LengthCodeTest, Encoders);

using Values = std::vector<std::int32_t>;

TYPED_TEST(LengthCodeTest, HistogramOfEightSymbols) {
  // Symbols 0..7 (highByte 3, one rule) with lengths 0, 0, 1, 2, 3, 3, 0, 0.
  auto g = TestFixture::withLengths(3, 1, {-1, -1, 1, 2, 3, 3, -1, -1});
  g->buildLengthCode();
  TypeParam& e = *g;
  EXPECT_EQ(e.lengthHistogram.low(), 0);
  EXPECT_EQ(TestFixture::window(e.lengthHistogram), (Values{4, 1, 1, 2}));
  using Code = typename TestFixture::Code;
  EXPECT_EQ(TestFixture::lengthCodes(e), (std::vector<Code>{{2, "111"}, {1, "110"}, {3, "10"}, {0, "0"}}));
  EXPECT_EQ(e.lengthCodeSlot.low(), 0);
  EXPECT_EQ(TestFixture::window(e.lengthCodeSlot), (Values{3, 1, 0, 2}));
  EXPECT_EQ(e.lengthWidth, 2);
}

TYPED_TEST(LengthCodeTest, AllCodesOfOneLengthStillCoverLengthZero) {
  auto g = TestFixture::withLengths(0, 1, {3, 3, 3, 3, 3});
  g->buildLengthCode();
  TypeParam& e = *g;
  EXPECT_EQ(e.lengthHistogram.low(), 0);
  EXPECT_EQ(TestFixture::window(e.lengthHistogram), (Values{0, 0, 0, 5}));
  using Code = typename TestFixture::Code;
  EXPECT_EQ(TestFixture::lengthCodes(e), (std::vector<Code>{{3, ""}}));
  EXPECT_EQ(TestFixture::window(e.lengthCodeSlot), (Values{-1, -1, -1, 0}));
  EXPECT_EQ(e.lengthWidth, 0);
}

TYPED_TEST(LengthCodeTest, OnlyLengthZero) {
  auto g = TestFixture::withLengths(0, 1, {-1, -1, 0, -1, -1});
  g->buildLengthCode();
  TypeParam& e = *g;
  EXPECT_EQ(TestFixture::window(e.lengthHistogram), (Values{5}));
  using Code = typename TestFixture::Code;
  EXPECT_EQ(TestFixture::lengthCodes(e), (std::vector<Code>{{0, ""}}));
  EXPECT_EQ(TestFixture::window(e.lengthCodeSlot), (Values{0}));
  EXPECT_EQ(e.lengthWidth, 0);
}

TYPED_TEST(LengthCodeTest, TwoLengthsOfEqualCountTakeTheLargerFirst) {
  // Symbols 0..5 (highByte 1, one rule): three without a code, three of length 2.
  auto g = TestFixture::withLengths(1, 1, {-1, 2, -1, 2, 2, -1});
  g->buildLengthCode();
  TypeParam& e = *g;
  EXPECT_EQ(TestFixture::window(e.lengthHistogram), (Values{3, 0, 3}));
  using Code = typename TestFixture::Code;
  EXPECT_EQ(TestFixture::lengthCodes(e), (std::vector<Code>{{2, "1"}, {0, "0"}}));
  EXPECT_EQ(TestFixture::window(e.lengthCodeSlot), (Values{1, -1, 0}));
  EXPECT_EQ(e.lengthWidth, 1);
}

TYPED_TEST(LengthCodeTest, WidthIsTheBitLengthOfTheLongestLengthCode) {
  // Lengths 1..9 once each plus length 0 eight times give length codes up to 5 bits deep.
  std::vector<int> lengths(8, -1);
  for (int l = 1; l <= 9; ++l) lengths.push_back(l);
  auto g = TestFixture::withLengths(12, 1, lengths);
  ASSERT_EQ(lengths.size(), 17u);
  g->buildLengthCode();
  TypeParam& e = *g;
  std::size_t longest = 0;
  for (std::int32_t j = 0; j < e.lengthCodes.count(); ++j) longest = std::max(longest, codeText(e.lengthCodes.at(j).code).size());
  EXPECT_GE(longest, 4u);
  EXPECT_EQ(e.lengthWidth, bitLength(longest));
  EXPECT_EQ(e.lengthHistogram.count(), 10);
}

TYPED_TEST(LengthCodeTest, OneByteInput) {
  EncoderRun<TypeParam> run(bytesOf("a"), Phase::BuildLengthCode);
  TypeParam& e = *run;
  EXPECT_EQ(e.lengthHistogram.low(), 0);
  EXPECT_EQ(TestFixture::window(e.lengthHistogram), (Values{99, 1, 2}));
  using Code = typename TestFixture::Code;
  EXPECT_EQ(TestFixture::lengthCodes(e), (std::vector<Code>{{1, "10"}, {2, "11"}, {0, "0"}}));
  EXPECT_EQ(TestFixture::window(e.lengthCodeSlot), (Values{2, 0, 1}));
  EXPECT_EQ(e.lengthWidth, 2);
}

TYPED_TEST(LengthCodeTest, TwelveByteExample) {
  EncoderRun<TypeParam> run(bytesOf("aaababbbbbaa"), Phase::BuildLengthCode);
  TypeParam& e = *run;
  EXPECT_EQ(TestFixture::window(e.lengthHistogram), (Values{100, 0, 2, 2, 4}));
  using Code = typename TestFixture::Code;
  EXPECT_EQ(TestFixture::lengthCodes(e), (std::vector<Code>{{3, "111"}, {2, "110"}, {4, "10"}, {0, "0"}}));
  EXPECT_EQ(TestFixture::window(e.lengthCodeSlot), (Values{3, -1, 1, 0, 2}));
  EXPECT_EQ(e.lengthWidth, 2);
}

TYPED_TEST(LengthCodeTest, BytesBelowTheLowestInputByteCountAsLengthZero) {
  EncoderRun<TypeParam> low(bytesOf({0}), Phase::BuildLengthCode);
  EncoderRun<TypeParam> high(bytesOf({200}), Phase::BuildLengthCode);
  EXPECT_EQ(low->lengthHistogram.at(0), 2);  // RunMarker and the root's own symbol
  EXPECT_EQ(high->lengthHistogram.at(0), 202);
}

}  // namespace
}  // namespace quorlen::test_support
