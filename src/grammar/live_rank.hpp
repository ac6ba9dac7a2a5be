// Which positions of a gapped sequence hold live symbols, and where each live one
// lands once the gaps are squeezed out: its rank among the live positions. One
// 64-bit word per 32 positions holds their live bits and the live positions before
// them, so that a rank costs one memory access: 2 bits per position.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "grammar/remap_array.hpp"

namespace quorlen {

class LiveRank {
 public:
  // Starts a map of `length` positions, to be filled with markLive in increasing order.
  explicit LiveRank(std::size_t length) : words_(length / 32 + 1) { blocks_.resize(words_); }

  // Position p is live; positions are marked in increasing order.
  void markLive(std::size_t p) {
    const std::size_t word = p / 32;
    for (; filled_ <= word; ++filled_) blocks_[filled_] = std::uint64_t{live_} << 32;
    blocks_[word] |= std::uint64_t{1} << (p % 32);
    ++live_;
  }
  // Ends the marking: every word holds its live bits and the live positions before it.
  void finish() {
    for (; filled_ < words_; ++filled_) blocks_[filled_] = std::uint64_t{live_} << 32;
  }

  bool isLive(std::size_t p) const { return (blocks_[p / 32] >> (p % 32) & 1) != 0; }
  // The live positions before p.
  std::uint32_t rank(std::size_t p) const {
    const std::uint64_t block = blocks_[p / 32];
    const auto below = static_cast<std::uint32_t>(block) & ((std::uint32_t{1} << (p % 32)) - 1);
    return static_cast<std::uint32_t>(block >> 32) + static_cast<std::uint32_t>(std::popcount(below));
  }
  std::uint32_t liveCount() const { return live_; }
  // The word that isLive and rank read for p: for prefetches.
  const void* blockOf(std::size_t p) const { return &blocks_[p / 32]; }

 private:
  std::size_t words_;
  std::size_t filled_ = 0;
  std::uint32_t live_ = 0;
  RemapArray<std::uint64_t> blocks_;
};

}  // namespace quorlen
