// Which positions of a gapped sequence hold live symbols, and where each live one
// lands once the gaps are squeezed out: its rank among the live positions. One
// 64-bit word per 32 positions holds their live bits and the live positions before
// them, so that a rank costs one memory access: 2 bits per position.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "common/prefault.hpp"
#include "grammar/remap_array.hpp"

namespace quorlen {

class LiveRank {
 public:
  // Starts a map of `length` positions, to be filled with appendWord.
  explicit LiveRank(std::size_t length) : words_((length + 31) / 32) { blocks_.resize(words_); }
  std::size_t words() const { return words_; }

  // The live bits of the next 32 positions, the first in the lowest bit. Every word
  // is written, front to back: the pages ahead are mapped a stretch at a time rather
  // than faulted in one by one, and none long before it is written.
  void appendWord(std::uint32_t bits) {
    if (filled_ % kMappedAhead == 0) {
      prefaultForWriting(blocks_.data() + filled_, blocks_.data() + std::min(words_, filled_ + kMappedAhead));
    }
    blocks_[filled_++] = std::uint64_t{live_} << 32 | bits;
    live_ += bitCount(bits);
  }

  bool isLive(std::size_t p) const { return (blocks_[p / 32] >> (p % 32) & 1) != 0; }
  // The live positions before p.
  std::uint32_t rank(std::size_t p) const {
    const std::uint64_t block = blocks_[p / 32];
    const auto below = static_cast<std::uint32_t>(block) & ((std::uint32_t{1} << (p % 32)) - 1);
    return static_cast<std::uint32_t>(block >> 32) + bitCount(below);
  }
  std::uint32_t liveCount() const { return live_; }
  // The word that isLive and rank read for p: for prefetches.
  const void* blockOf(std::size_t p) const { return &blocks_[p / 32]; }

 private:
  static constexpr std::size_t kMappedAhead = 2048;  // words: 16 KiB, 4 pages; not tuned
  // std::popcount without a popcnt instruction in the target is a library call; this
  // is a dozen inline instructions.
  static std::uint32_t bitCount(std::uint32_t x) {
    x -= (x >> 1) & 0x55555555u;
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return (x * 0x01010101u) >> 24;
  }

  std::size_t words_;
  std::size_t filled_ = 0;  // words appended
  std::uint32_t live_ = 0;
  RemapArray<std::uint64_t> blocks_;
};

}  // namespace quorlen
