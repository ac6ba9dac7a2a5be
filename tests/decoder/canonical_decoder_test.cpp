// The table-driven canonical decoder against the plainest one: a bit at a time, the code
// so far compared with the codes of each length. Random complete codes (shallow and up
// to 56 bits deep) read random bit strings, cut off anywhere, from memory and in small
// chunks: every rank, every stop and its message must agree.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "common/failure.hpp"
#include "decoder/canonical_decoder.hpp"

namespace quorlen {
namespace {

// Decodes by walking the code bit by bit; returns the ranks read until the stream ends,
// and the message of the refusal that stopped it ("" when it ended on a code boundary).
struct Decoded {
  std::vector<std::uint32_t> ranks;
  std::string stop;
};

Decoded decodeBitByBit(const std::vector<std::uint8_t>& lengths, const std::vector<std::uint8_t>& stream) {
  std::vector<std::uint64_t> count(CanonicalDecoder::kMaxCodeLength + 1, 0), first(count), offset(count);
  for (const std::uint8_t length : lengths) count[length] += length != 0;
  for (std::size_t length = 1, code = 0, rank = 0; length < count.size(); ++length) {
    code = (code + count[length - 1]) << 1;
    first[length] = code;
    offset[length] = rank;
    rank += count[length];
  }
  Decoded out;
  std::uint64_t code = 0;
  std::size_t length = 0;
  for (std::size_t bit = 0; bit < stream.size() * 8; ++bit) {
    code = code * 2 + ((stream[bit / 8] >> (7 - bit % 8)) & 1);
    ++length;
    if (code - first[length] < count[length]) {
      out.ranks.push_back(static_cast<std::uint32_t>(offset[length] + code - first[length]));
      code = length = 0;
    }
  }
  if (length != 0) out.stop = "stream ends inside the header";
  return out;
}

// Hands the stream out in chunks of 1, 2, ..., `largest` bytes in turn, as a file read as
// it arrives: codes then straddle chunk ends, where the window is filled byte by byte.
class ChunkedSource final : public ByteSource {
 public:
  ChunkedSource(std::span<const std::uint8_t> stream, std::size_t largest) : rest_(stream), largest_(largest) {}
  std::span<const std::uint8_t> next() override {
    const std::span<const std::uint8_t> chunk = rest_.first(std::min(rest_.size(), 1 + turn_++ % largest_));
    rest_ = rest_.subspan(chunk.size());
    return chunk;
  }
  std::optional<std::uint64_t> size() const override { return rest_.size(); }  // asked before the first chunk

 private:
  std::span<const std::uint8_t> rest_;
  std::size_t largest_;
  std::size_t turn_ = 0;
};

Decoded decodeWithTables(const CanonicalDecoder& decoder, const std::vector<std::uint8_t>& stream,
                         std::size_t largestChunk = 0) {
  Decoded out;
  ChunkedSource source(stream, largestChunk == 0 ? 1 : largestChunk);
  BitReader in = largestChunk == 0 ? BitReader(stream) : BitReader(source);
  try {
    while (in.remaining() != 0) out.ranks.push_back(decoder.decodeRank(in));
  } catch (const Failure& error) {
    out.stop = error.what();
  }
  return out;
}

// A random complete code: leaves split at random, the deepest first when `deep`, so
// that both 1-bit codes and codes of 56 bits occur; then spread over a larger alphabet.
std::vector<std::uint8_t> randomCode(std::mt19937_64& random, std::size_t leaves, bool deep) {
  std::vector<std::uint8_t> depths{1, 1};
  while (depths.size() < leaves) {
    std::size_t pick = random() % depths.size();
    if (deep) pick = depths.size() - 1 - random() % std::min<std::size_t>(depths.size(), 2);
    if (depths[pick] == CanonicalDecoder::kMaxCodeLength) break;
    ++depths[pick];
    depths.push_back(depths[pick]);
  }
  std::vector<std::uint8_t> lengths(depths.size() * 2, 0);
  for (const std::uint8_t depth : depths) {
    std::size_t slot = random() % lengths.size();
    while (lengths[slot] != 0) slot = (slot + 1) % lengths.size();
    lengths[slot] = depth;
  }
  return lengths;
}

TEST(CanonicalDecoder, TablesAgreeWithDecodingBitByBit) {
  std::mt19937_64 random(12);
  for (int trial = 0; trial < 400; ++trial) {
    const std::size_t leaves = std::size_t{2} << (trial % 14);
    const std::vector<std::uint8_t> lengths = randomCode(random, leaves, trial % 3 == 0);
    const CanonicalDecoder decoder(lengths, "code");
    std::vector<std::uint8_t> stream(1 + random() % 300);
    for (auto& byte : stream) byte = static_cast<std::uint8_t>(random());
    // Long runs of ones reach the deepest codes, which random bits almost never do.
    if (trial % 2) std::fill(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(stream.size() / 2), 0xff);
    const Decoded expected = decodeBitByBit(lengths, stream);
    for (const std::size_t largestChunk : {0, 3, 13}) {
      const Decoded actual = decodeWithTables(decoder, stream, largestChunk);
      ASSERT_EQ(actual.ranks, expected.ranks) << "trial " << trial << ", chunks " << largestChunk;
      ASSERT_EQ(actual.stop, expected.stop) << "trial " << trial << ", chunks " << largestChunk;
    }
  }
}

}  // namespace
}  // namespace quorlen
