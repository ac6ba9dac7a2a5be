// Streams from the real compressor: every one must be accepted and restore its input,
// every truncation must be refused, and no bit flip may crash the decoder.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "decoder/decompress.hpp"
#include "encoder/compress.hpp"
#include "quorlen/quorlen.hpp"
#include "support/sample_inputs.hpp"

namespace quorlen {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Through the public API, as an embedding program uses it.
Bytes roundTrip(const Bytes& input) {
  const quorlen::CompressResult compressed = quorlen::compress(input);
  EXPECT_TRUE(compressed.ok()) << compressed.error.message;
  const quorlen::DecompressResult restored = quorlen::decompress(compressed.stream);
  EXPECT_TRUE(restored.ok()) << restored.error.message;
  return restored.bytes;
}

TEST(RoundTrip, GeneratedInputsOfManyShapes) {
  for (const auto& input : test::largeSampleInputs()) {
    SCOPED_TRACE(input.name);
    EXPECT_TRUE(roundTrip(input.bytes) == input.bytes);
    const Decompressor decompressor(compressBytes(input.bytes));
    EXPECT_EQ(decompressor.restoredSize(), input.bytes.size());
  }
}

TEST(RoundTrip, RealFile) {
  const Bytes tar = test::includeTar(test::scaled(1 << 20));
  if (tar.empty()) GTEST_SKIP() << "no tar of /usr/include available";
  EXPECT_TRUE(roundTrip(tar) == tar);
}

TEST(RoundTrip, EmptyInput) {
  EXPECT_TRUE(compressBytes({}).empty());
  EXPECT_TRUE(decompressBytes({}).empty());
}

// Small streams of varied structure: with and without runs, one and many bytes.
std::vector<Bytes> smallStreams() {
  std::vector<Bytes> streams;
  for (const std::string text : {"a", "ab", "aaababbbbbaa", "abcabcabcabcabcabcabcabc", "mississippi river"}) {
    streams.push_back(compressBytes(Bytes(text.begin(), text.end())));
  }
  std::mt19937 random(7);
  Bytes noise(600);
  for (auto& byte : noise) byte = static_cast<std::uint8_t>(random() % 4);
  streams.push_back(compressBytes(noise));
  return streams;
}

TEST(CorruptStreams, EveryTruncationIsRefused) {
  for (const Bytes& stream : smallStreams()) {
    for (std::size_t size = 1; size < stream.size(); ++size) {
      EXPECT_THROW(decompressBytes(Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(size))),
                   Failure)
          << "cut to " << size << " of " << stream.size() << " bytes";
    }
  }
}

TEST(CorruptStreams, BitFlipsAreRefusedOrDecoded) {
  std::size_t refused = 0, flips = 0;
  for (const Bytes& stream : smallStreams()) {
    for (std::size_t bit = 0; bit < stream.size() * 8; ++bit) {
      Bytes spoiled = stream;
      spoiled[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
      ++flips;
      try {
        decompressBytes(spoiled);
      } catch (const Failure& error) {
        ++refused;
        const std::string reason = error.what();
        ASSERT_FALSE(reason.empty());
        EXPECT_NE(reason.back(), '.') << reason;
        EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
      }
    }
  }
  // Without a checksum a flip inside a code may just pick another symbol, but most
  // flips upset a table, a count or the grammar's structure.
  EXPECT_GT(refused * 2, flips) << refused << " of " << flips;
}

}  // namespace
}  // namespace quorlen
