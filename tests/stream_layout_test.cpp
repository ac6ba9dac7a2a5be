// The compressed stream: the examples byte for byte, and every sample read back
// field by field by a small independent reader.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/failure.hpp"
#include "encoder/compress.hpp"
#include "encoder_fixture.hpp"
#include "reference/reference_compress.hpp"
#include "support/example_streams.hpp"

namespace quorlen::test_support {
namespace {

using test::kStream12;
using test::kStreamA;
using test::kStreamAB;

TEST(CompressBytesTest, ExampleStreamsByteForByte) {
  EXPECT_EQ(compressBytes(bytesOf("a")), kStreamA);
  EXPECT_EQ(compressBytes(bytesOf("ab")), kStreamAB);
  EXPECT_EQ(compressBytes(bytesOf("aaababbbbbaa")), kStream12);
}

TEST(CompressBytesTest, ReferenceWritesTheSameExampleStreams) {
  EXPECT_EQ(reference::compressBytes(bytesOf("a")), kStreamA);
  EXPECT_EQ(reference::compressBytes(bytesOf("ab")), kStreamAB);
  EXPECT_EQ(reference::compressBytes(bytesOf("aaababbbbbaa")), kStream12);
}

TEST(CompressBytesTest, EmptyInputGivesAnEmptyStream) {
  EXPECT_TRUE(compressBytes({}).empty());
  EXPECT_TRUE(reference::compressBytes({}).empty());
}

TEST(CompressBytesTest, LibraryAndReferenceAgreeOnEverySample) {
  for (const auto& [name, bytes] : smallSampleInputs()) {
    EXPECT_EQ(compressBytes(bytes), reference::compressBytes(bytes)) << name;
  }
}

TEST(CompressBytesTest, AgreesWithTheReferenceOnLargerInputs) {
  std::mt19937 random(2024);
  Bytes text;
  const std::vector<std::string> words{"grammar ", "pair ", "rule ", "run ", "code ", "stream ", "\n", "bit "};
  while (text.size() < 40000) {
    const std::string& w = words[random() % words.size()];
    text.insert(text.end(), w.begin(), w.end());
  }
  EXPECT_EQ(compressBytes(text), reference::compressBytes(text));
  Bytes noise(20000);
  for (auto& b : noise) b = static_cast<std::uint8_t>(random());
  EXPECT_EQ(compressBytes(noise), reference::compressBytes(noise));
}

// The stream's bits before padding, as writeStream leaves them.
template <typename Encoder>
class StreamLayoutTest : public ::testing::Test {};
using Encoders = ::testing::Types<GrammarEncoder, reference::GrammarEncoder>;
TYPED_TEST_SUITE(StreamLayoutTest, Encoders);

TYPED_TEST(StreamLayoutTest, BitTotalsOfTheExamples) {
  const std::vector<std::pair<Bytes, int>> examples{{bytesOf("a"), 56}, {bytesOf("ab"), 54}, {bytesOf("aaababbbbbaa"), 126}};
  for (const auto& [input, bits] : examples) {
    EncoderRun<TypeParam> run(input, Phase::BuildLengthCode);
    std::ostringstream file;
    BitOutputStream stream(file);
    run->writeStream(stream);
    EXPECT_EQ(stream.putPosition(), bits / 8) << bits;
    EXPECT_EQ(stream.bitCount(), bits % 8) << bits;
  }
}

class BitReader {
 public:
  explicit BitReader(const Bytes& bytes) : bytes_(bytes) {}
  int bit() {
    if (position_ >= bytes_.size() * 8) throw std::runtime_error("stream ends early");
    const int b = (bytes_[position_ / 8] >> (7 - position_ % 8)) & 1;
    ++position_;
    return b;
  }
  std::uint32_t bits(int n) {
    std::uint32_t value = 0;
    for (int k = 0; k < n; ++k) value = value << 1 | static_cast<std::uint32_t>(bit());
    return value;
  }
  std::uint32_t prefixed() { return bits(static_cast<int>(bits(5))); }
  std::size_t position() const { return position_; }
  std::size_t size() const { return bytes_.size() * 8; }

 private:
  const Bytes& bytes_;
  std::size_t position_ = 0;
};

// A canonical code given by its lengths: (length, code value) -> coded value.
class CanonicalCode {
 public:
  explicit CanonicalCode(const std::map<std::int32_t, std::int32_t>& lengths) {
    std::vector<std::pair<std::int32_t, std::int32_t>> order;
    for (const auto& [value, length] : lengths) {
      if (length > 0) order.emplace_back(length, value);
    }
    std::sort(order.begin(), order.end());
    std::uint64_t code = 0;
    std::int32_t previous = 0;
    for (const auto& [length, value] : order) {
      code <<= (length - previous);
      previous = length;
      codes_[{length, code}] = value;
      ++code;
    }
  }
  std::int32_t read(BitReader& in) const {
    std::uint64_t code = 0;
    for (std::int32_t length = 1; length <= 64; ++length) {
      code = code << 1 | static_cast<std::uint64_t>(in.bit());
      const auto found = codes_.find({length, code});
      if (found != codes_.end()) return found->second;
    }
    throw std::runtime_error("no such code");
  }

 private:
  std::map<std::pair<std::int32_t, std::uint64_t>, std::int32_t> codes_;
};

struct ParsedStream {
  std::int32_t lowByte, highByte, lengthTableSize, symbolTableSize, lengthWidth, ruleCount;
  std::vector<std::int32_t> lengthCodeLengths;
  std::map<std::int32_t, std::int32_t> symbolLengths;
  std::vector<Symbols> rules;  // rule symbols as final numbers + firstRuleSymbol
  Symbols expansion;
};

void expandRecord(const ParsedStream& s, std::int32_t k, Symbols& out, int depth) {
  if (depth > 100000) throw std::runtime_error("cyclic grammar");
  for (const std::int32_t x : s.rules.at(static_cast<std::size_t>(k))) {
    if (x <= s.highByte) {
      out.push_back(x);
    } else {
      expandRecord(s, x - (s.highByte + 4), out, depth + 1);
    }
  }
}

ParsedStream parse(const Bytes& bytes) {
  BitReader in(bytes);
  ParsedStream s{};
  s.lowByte = static_cast<std::int32_t>(in.bits(8));
  s.highByte = static_cast<std::int32_t>(in.bits(8));
  s.lengthTableSize = static_cast<std::int32_t>(in.bits(8));
  s.symbolTableSize = static_cast<std::int32_t>(in.prefixed());
  s.lengthWidth = static_cast<std::int32_t>(in.bits(5));
  s.ruleCount = s.symbolTableSize - (s.highByte - s.lowByte) - 4;
  std::map<std::int32_t, std::int32_t> lengthLengths;
  for (std::int32_t j = 0; j < s.lengthTableSize; ++j) {
    s.lengthCodeLengths.push_back(static_cast<std::int32_t>(in.bits(s.lengthWidth)));
    lengthLengths[j] = s.lengthCodeLengths.back();
  }
  const CanonicalCode lengthCode(lengthLengths);
  for (std::int32_t k = 0; k < s.symbolTableSize; ++k) s.symbolLengths[s.lowByte + k] = lengthCode.read(in);
  const CanonicalCode symbolCode(s.symbolLengths);
  const std::int32_t runMarker = s.highByte + 1, endRule = s.highByte + 2, endStream = s.highByte + 3;
  for (std::int32_t k = 0; k < s.ruleCount; ++k) {
    Symbols body;
    for (;;) {
      const std::int32_t x = symbolCode.read(in);
      if (x == endRule) break;
      if (x == runMarker) {
        if (body.size() != 1) throw std::runtime_error("run marker after more than one symbol");
        const auto length = static_cast<std::int32_t>(in.prefixed());
        for (std::int32_t m = 1; m < length; ++m) body.push_back(body[0] + m);
        break;
      }
      if (x == endStream) throw std::runtime_error("end of stream inside a rule");
      body.push_back(x);
    }
    s.rules.push_back(body);
  }
  if (symbolCode.read(in) != endStream) throw std::runtime_error("no end of stream marker");
  if (in.size() - in.position() >= 8) throw std::runtime_error("more than padding after the end");
  while (in.position() < in.size()) {
    if (in.bit() != 0) throw std::runtime_error("padding bit set");
  }
  expandRecord(s, 0, s.expansion, 0);
  return s;
}

TEST(StreamLayoutTest, TwelveByteExampleFields) {
  const ParsedStream s = parse(compressBytes(bytesOf("aaababbbbbaa")));
  EXPECT_EQ(s.lowByte, 97);
  EXPECT_EQ(s.highByte, 98);
  EXPECT_EQ(s.lengthTableSize, 5);
  EXPECT_EQ(s.symbolTableSize, 11);
  EXPECT_EQ(s.lengthWidth, 2);
  EXPECT_EQ(s.lengthCodeLengths, (std::vector<std::int32_t>{1, 0, 3, 3, 2}));
  for (const std::int32_t uncoded : {102, 105, 107}) EXPECT_EQ(s.symbolLengths.at(uncoded), 0) << uncoded;
  EXPECT_EQ(s.symbolLengths.at(99), 4);  // RunMarker: rule 0 is a run
  ASSERT_EQ(s.rules.size(), 6u);
  EXPECT_EQ(s.rules[0], (Symbols{103, 104, 105, 106, 107}));
  EXPECT_EQ(s.expansion, asSymbols(bytesOf("aaababbbbbaa")));
}

TEST(StreamLayoutTest, EverySampleReadsBackToItsInput) {
  for (const auto& [name, bytes] : smallSampleInputs()) {
    SCOPED_TRACE(name);
    const Bytes stream = compressBytes(bytes);
    ParsedStream s;
    ASSERT_NO_THROW(s = parse(stream));
    EXPECT_EQ(s.expansion, asSymbols(bytes));
    EXPECT_GE(s.symbolTableSize, 5);
    // Every code has at least one bit, so a listed length 0 always means "no code".
    std::int32_t coded = 0;
    for (const auto& [symbol, length] : s.symbolLengths) coded += length > 0;
    EXPECT_GE(coded, 2);
    EXPECT_EQ(s.lengthCodeLengths.at(0) > 0, true);
  }
}

TEST(StreamLayoutTest, HeaderMatchesTheEncoderFields) {
  for (const auto& [name, bytes] : smallSampleInputs()) {
    SCOPED_TRACE(name);
    EncoderRun<GrammarEncoder> run(bytes, Phase::BuildLengthCode);
    const ParsedStream s = parse(compressBytes(bytes));
    EXPECT_EQ(s.lowByte, run->lowByte);
    EXPECT_EQ(s.highByte, run->highByte);
    EXPECT_EQ(s.ruleCount, run->ruleCount);
    EXPECT_EQ(s.lengthWidth, run->lengthWidth);
    EXPECT_EQ(s.lengthTableSize, (run->lengthHistogram.low() + run->lengthHistogram.count()) & 0xFF);
  }
}

TEST(CompressBytesTest, RefusesInputsOfTheLimitSize) {
  EXPECT_EQ(kMaxInputSize, 2147483136);
  // A span of the limit's size over one byte of real storage: it is never read.
  static const std::uint8_t byte = 0;
  const std::span<const std::uint8_t> huge(&byte, static_cast<std::size_t>(kMaxInputSize));
  EXPECT_THROW(compressBytes(huge), Failure);
}

}  // namespace
}  // namespace quorlen::test_support
