// The public API: results and failures as values, and the program's exact stream.
#include "quorlen/quorlen.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(PublicApi, CompressGivesTheProgramsStreamAndItsWholeBytes) {
  const quorlen::CompressResult one = quorlen::compress(bytesOf("a"));
  ASSERT_TRUE(one.ok());
  EXPECT_EQ(one.stream, (Bytes{0x61, 0x61, 0x03, 0x1D, 0x13, 0x53, 0xCB}));
  EXPECT_EQ(one.wholeBytes, 7);  // 56 bits: no padding

  const quorlen::CompressResult two = quorlen::compress(bytesOf("ab"));
  ASSERT_TRUE(two.ok());
  EXPECT_EQ(two.stream, (Bytes{0x61, 0x62, 0x03, 0x1E, 0x0D, 0xD8, 0x6C}));
  EXPECT_EQ(two.wholeBytes, 6);  // 54 bits: the last byte is partly padding
}

TEST(PublicApi, RoundTripsAndEmptyInputs) {
  for (const std::string& text : {std::string("aaababbbbbaa"), std::string(1000, 'x'),
                                  std::string("the quick brown fox jumps over the lazy dog, the lazy dog")}) {
    const quorlen::CompressResult compressed = quorlen::compress(bytesOf(text));
    ASSERT_TRUE(compressed.ok());
    const quorlen::DecompressResult restored = quorlen::decompress(compressed.stream);
    ASSERT_TRUE(restored.ok()) << restored.error.message;
    EXPECT_EQ(restored.bytes, bytesOf(text));
  }
  const quorlen::CompressResult empty = quorlen::compress({});
  EXPECT_TRUE(empty.ok());
  EXPECT_TRUE(empty.stream.empty());
  EXPECT_EQ(empty.wholeBytes, 0);
  const quorlen::DecompressResult nothing = quorlen::decompress({});
  EXPECT_TRUE(nothing.ok());
  EXPECT_TRUE(nothing.bytes.empty());
}

TEST(PublicApi, CorruptStreamsAreErrorsWithAReason) {
  const Bytes stream = quorlen::compress(bytesOf("aaababbbbbaa")).stream;
  Bytes truncated(stream.begin(), stream.end() - 1);
  Bytes extended = stream;
  extended.push_back(0);
  for (const Bytes& bad : {truncated, extended, Bytes{0x62, 0x61}}) {
    const quorlen::DecompressResult result = quorlen::decompress(bad);
    EXPECT_EQ(result.error.kind, quorlen::ErrorKind::corruptInput);
    EXPECT_FALSE(result.error.message.empty());
    EXPECT_TRUE(result.bytes.empty());
  }
}

TEST(PublicApi, InputsAtTheLimitAreRefusedUntouched) {
  // The size is checked before a byte is read, so no such buffer is needed.
  static const std::uint8_t byte = 0;
  const std::span<const std::uint8_t> huge(&byte, static_cast<std::size_t>(quorlen::kMaxInputSize));
  const quorlen::CompressResult result = quorlen::compress(huge);
  EXPECT_EQ(result.error.kind, quorlen::ErrorKind::inputTooLarge);
  EXPECT_TRUE(result.stream.empty());
}

}  // namespace
