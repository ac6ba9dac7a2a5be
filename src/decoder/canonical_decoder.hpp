// Decoder for a canonical prefix code given by its code lengths (codes handed out in
// order of (length, value), as in RFC 1951).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/huge_pages.hpp"
#include "decoder/bit_reader.hpp"

namespace quorlen {

class CanonicalDecoder {
 public:
  // Longest code accepted. The encoder's codes stay far below it: a Huffman code of
  // depth 56 would need more than 2^37 coded symbols.
  static constexpr unsigned kMaxCodeLength = 56;

  // lengths[v] is the code length of value v, 0 when v has no code. `name` names the
  // code in error messages. Throws Failure (corruptInput) unless the lengths form a
  // complete code of at least two codes: a code alone in its tree would be empty, and
  // an empty code cannot be told apart from "no code" in the stream.
  CanonicalDecoder(std::span<const std::uint8_t> lengths, const std::string& name);

  // Reads one code and returns its value.
  std::uint32_t decode(BitReader& in) const { return sorted_[decodeRank(in)]; }

  // Reads one code and returns its rank: its place in the order of (length, value).
  // Finding the value is a lookup in a table as large as the alphabet, which for
  // alphabets of a million rules misses the cache; a caller that reads many codes can
  // keep ranks and look their values up later, many at a time.
  //
  // Canonical codes grow in value with their length, so the left-justified window lies
  // at or below lastCode_[L] exactly when the code it starts with is L bits long or
  // shorter. The first bits of the window give, from a small table, the shortest length
  // among the codes under them (a short code's own length); the length is the first
  // from there on that passes one comparison, and lastCode_ at the longest length passes
  // every window, which ends the loop. Short and long codes take the same path, with no
  // branch between them to mispredict: on h64 (codes of 19 to 23 bits) nearly every code
  // passes at the first length compared. The window is topped up before every code
  // (see BitReader::ensure).
  std::uint32_t decodeRank(BitReader& in) const {
    in.ensure(maxLength_);
    const std::uint64_t window = in.window();
    unsigned length = startLength_[window >> (64 - primaryBits_)];
    while (window > lastCode_[length]) ++length;
    in.consume(length);
    return static_cast<std::uint32_t>((window >> (64 - length)) + rankBase_[length]);
  }

  std::uint32_t valueOfRank(std::uint32_t rank) const { return sorted_[rank]; }
  std::uint32_t codeCount() const { return static_cast<std::uint32_t>(sorted_.size()); }
  unsigned shortestLength() const { return minLength_; }

 private:
  // 2^12 one-byte entries stay in the first-level cache. 14 bits took 1.02 times the
  // restore's CPU time of 12 on h64 (21 runs paired).
  static constexpr unsigned kPrimaryBits = 12;

  unsigned primaryBits_ = 0;
  unsigned minLength_ = kMaxCodeLength;
  unsigned maxLength_ = 0;
  // startLength_[p]: the shortest length among the codes that start with the
  // primaryBits_ bits p, or the length of the code that is a prefix of p.
  std::vector<std::uint8_t> startLength_;
  // Codes of length L are the numbers firstCode_[L] .. firstCode_[L] + count_[L] - 1, in
  // the order of sorted_ from offset_[L] on.
  std::array<std::uint64_t, kMaxCodeLength + 1> firstCode_{};
  std::array<std::uint64_t, kMaxCodeLength + 1> count_{};
  std::array<std::uint64_t, kMaxCodeLength + 1> offset_{};
  // From the shortest length on, lastCode_[L]: the last code
  // of length L or less, left-justified in 64 bits with ones below it; every window above
  // it starts with a longer code. rankBase_[L]: offset_[L] - firstCode_[L] (mod 2^64), so
  // that a code c of length L has rank c + rankBase_[L].
  std::array<std::uint64_t, kMaxCodeLength + 1> lastCode_{};
  std::array<std::uint64_t, kMaxCodeLength + 1> rankBase_{};
  HugePageVector<std::uint32_t> sorted_;
};

}  // namespace quorlen
