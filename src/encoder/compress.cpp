#include "encoder/compress.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <ostream>
#include <streambuf>
#include <utility>

#include "common/failure.hpp"
#include "common/huge_pages.hpp"
#include "common/prefault.hpp"
#include "encoder/grammar_encoder.hpp"
#include "encoder/release_storage.hpp"

namespace quorlen {

namespace {

// Collects a stream in blocks of fixed size. A buffer that grew by doubling would,
// at its last growth, hold its old and new copies while the encoder's tables are
// still at their largest (16 MiB of random bytes: peak 254 MiB, against 237 MiB in
// blocks); the blocks are joined once the encoder is gone.
class BlockBuffer : public std::streambuf {
 public:
  std::vector<std::uint8_t> join() {
    seal();
    std::size_t total = 0;
    for (const Block& block : blocks_) total += block.used;
    std::vector<std::uint8_t> bytes(total);
    std::size_t at = 0;
    for (Block& block : blocks_) {
      std::memcpy(bytes.data() + at, block.bytes.get(), block.used);
      at += block.used;
      block.bytes.reset();
    }
    return bytes;
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    seal();
    blocks_.push_back(Block{std::make_unique_for_overwrite<char[]>(kBlockBytes), 0});
    setp(blocks_.back().bytes.get(), blocks_.back().bytes.get() + kBlockBytes);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }

 private:
  static constexpr std::size_t kBlockBytes = std::size_t{1} << 20;  // not tuned
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t used;
  };

  // Records how much of the current block is written.
  void seal() {
    if (!blocks_.empty()) blocks_.back().used = static_cast<std::size_t>(pptr() - pbase());
  }

  std::vector<Block> blocks_;
};

}  // namespace

std::vector<std::int32_t> reserveSymbols(std::int64_t count) {
  // Reserved, not sized: the symbols are appended, so the buffer is never zero-filled
  // first (a 64 MiB memset on a 16 MiB input). Every slot is written soon: mapped in
  // one call (h16: the read took 0.19 s with its pages faulted one by one, 0.11 s
  // mapped first), in huge pages. Pair replacement reads this sequence at random
  // places throughout, and on the machine measured (a 2-core EPYC VM) each first
  // write of a small page and each page walk cost much: paired CPU against small
  // pages h16 0.875 (5 pairs), h64 0.872 (3 pairs, all below 0.9), peaks unchanged.
  // (The pair replacer's own large arrays sit in huge pages too, in ranges reserved
  // once: moved by remapping, their huge pages were split, and h64 took 1.25 times as
  // long.)
  std::vector<std::int32_t> symbols;
  symbols.reserve(static_cast<std::size_t>(count) + 1);
  preferHugePages(symbols.data(), symbols.capacity() * sizeof(std::int32_t));
  prefaultForWriting(symbols.data(), symbols.data() + symbols.capacity());
  return symbols;
}

void encodeSymbols(std::vector<std::int32_t>& symbols, BitOutputStream& stream) {
  GrammarEncoder encoder(symbols.data(), static_cast<std::int32_t>(symbols.size()));
  encoder.scanByteRange();
  encoder.replacePairs();
  encoder.selectRules();
  encoder.expandRules();
  // The root's body now holds what pair replacement left in the buffer.
  encoder.sequence = nullptr;
  encoder.sequenceLength = 0;
  releaseStorage(symbols);
  // The bodies now hold all that later phases need of the pair rules.
  encoder.pairLeft.clear();
  encoder.pairRight.clear();
  encoder.pairUses.clear();
  encoder.keptIndex.clear();
  encoder.restructureRuns();
  encoder.buildSymbolCode();
  encoder.buildLengthCode();
  encoder.writeStream(stream);
}

std::vector<std::uint8_t> compressBytes(std::span<const std::uint8_t> input, std::int64_t* wholeBytes) {
  if (static_cast<std::int64_t>(input.size()) >= kMaxInputSize) {
    fail(ErrorKind::inputTooLarge, "input too large: it must be below " + std::to_string(kMaxInputSize) + " bytes");
  }
  BlockBuffer buffer;
  std::ostream out(&buffer);
  if (wholeBytes) *wholeBytes = 0;
  if (!input.empty()) {
    std::vector<std::int32_t> symbols = reserveSymbols(static_cast<std::int64_t>(input.size()));
    symbols.insert(symbols.end(), input.begin(), input.end());
    symbols.push_back(EndSentinel);
    BitOutputStream stream(out);
    encodeSymbols(symbols, stream);
    if (wholeBytes) *wholeBytes = stream.putPosition();
    stream.close();
  }
  return buffer.join();
}

}  // namespace quorlen
