#include "decoder/canonical_decoder.hpp"

#include <algorithm>

namespace quorlen {

CanonicalDecoder::CanonicalDecoder(std::span<const std::uint8_t> lengths, const std::string& name) {
  std::uint64_t codes = 0;
  for (const std::uint8_t length : lengths) {
    if (length > kMaxCodeLength) refuseStream(name + " has a code longer than 56 bits");
    if (length != 0) {
      ++count_[length];
      ++codes;
      minLength_ = std::min<unsigned>(minLength_, length);
      maxLength_ = std::max<unsigned>(maxLength_, length);
    }
  }
  if (codes < 2) refuseStream(name + " has fewer than two codes");

  // Kraft sum in units of 2^-56: a complete prefix code fills the space exactly.
  constexpr std::uint64_t kFull = std::uint64_t{1} << kMaxCodeLength;
  std::uint64_t filled = 0;
  for (unsigned length = 1; length <= maxLength_; ++length) {
    const unsigned shift = kMaxCodeLength - length;
    if (count_[length] > ((kFull - filled) >> shift)) refuseStream(name + " is over-subscribed");
    filled += count_[length] << shift;
  }
  if (filled != kFull) refuseStream(name + " is incomplete");

  std::uint64_t code = 0;
  std::uint64_t offset = 0;
  for (unsigned length = 1; length <= maxLength_; ++length) {
    code = (code + count_[length - 1]) << 1;
    firstCode_[length] = code;
    offset_[length] = offset;
    offset += count_[length];
    const std::uint64_t end = firstCode_[length] + count_[length];  // 2^length at the longest length
    lastCode_[length] = length == maxLength_ ? UINT64_MAX : (end << (64 - length)) - 1;
    rankBase_[length] = offset_[length] - firstCode_[length];
  }

  sorted_.resize(codes);
  std::array<std::uint64_t, kMaxCodeLength + 1> next = offset_;
  for (std::size_t value = 0; value < lengths.size(); ++value) {
    if (lengths[value] != 0) sorted_[next[lengths[value]]++] = static_cast<std::uint32_t>(value);
  }

  primaryBits_ = std::min(kPrimaryBits, maxLength_);
  table_.assign(std::size_t{1} << primaryBits_, Entry{0, 0});
  for (unsigned length = 1; length <= primaryBits_; ++length) {
    const std::uint64_t span = std::uint64_t{1} << (primaryBits_ - length);
    for (std::uint64_t i = 0; i < count_[length]; ++i) {
      const std::uint64_t first = (firstCode_[length] + i) << (primaryBits_ - length);
      std::fill_n(table_.begin() + static_cast<std::ptrdiff_t>(first), span,
                  Entry{static_cast<std::uint32_t>(offset_[length] + i), length});
    }
  }
  // Entries left at length 0 are the prefixes of the long codes; each keeps in `rank`
  // the shortest length among the codes under it, where the search for a code starts.
  // In a canonical code one prefix rarely holds codes of more than two lengths.
  for (unsigned length = primaryBits_ + 1; length <= maxLength_; ++length) {
    for (std::uint64_t i = 0; i < count_[length]; ++i) {
      Entry& entry = table_[(firstCode_[length] + i) >> (length - primaryBits_)];
      if (entry.rank == 0) entry.rank = length;
    }
  }
}

// Canonical codes grow in value with their length, so the left-justified window lies at
// or below lastCode_[L] exactly when the code it starts with is L bits long or shorter:
// the length is the first L from the prefix's shortest on that passes one comparison,
// and lastCode_ at the longest length passes every window, which ends the loop. On h64
// (codes of 19 to 23 bits) nearly every code passes at the first length compared.
std::uint32_t CanonicalDecoder::decodeLong(BitReader& in) const {
  const std::uint64_t window = in.window();
  unsigned length = table_[window >> (64 - primaryBits_)].rank;
  while (window > lastCode_[length]) ++length;
  in.consume(length);
  return static_cast<std::uint32_t>((window >> (64 - length)) + rankBase_[length]);
}

}  // namespace quorlen
