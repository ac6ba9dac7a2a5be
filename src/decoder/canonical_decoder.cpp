#include "decoder/canonical_decoder.hpp"

#include <algorithm>

namespace quorlen {

CanonicalDecoder::CanonicalDecoder(std::span<const std::uint8_t> lengths, const std::string& name) {
  // Values with no code (length 0) lie among the others in no order to learn: in the
  // symbol code they are the rules that only runs list. So neither loop over the values
  // branches on a length of 0 (the two did mispredict 0.42 million times on h64): such
  // values are counted in count_[0], cleared after, and placed in a spare last entry of
  // sorted_.
  for (const std::uint8_t length : lengths) {
    if (length > kMaxCodeLength) refuseStream(name + " has a code longer than 56 bits");
    ++count_[length];
  }
  const std::uint64_t codes = lengths.size() - count_[0];
  count_[0] = 0;
  for (unsigned length = kMaxCodeLength; length >= 1; --length) {
    if (count_[length] != 0) minLength_ = length;
    if (count_[kMaxCodeLength + 1 - length] != 0) maxLength_ = kMaxCodeLength + 1 - length;
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

  sorted_.resize(codes + 1);
  std::array<std::uint64_t, kMaxCodeLength + 1> next = offset_;
  next[0] = codes;  // the spare entry, written over by every value without a code
  for (std::size_t value = 0; value < lengths.size(); ++value) {
    const std::uint8_t length = lengths[value];
    sorted_[next[length]] = static_cast<std::uint32_t>(value);
    next[length] += length != 0;
  }
  sorted_.pop_back();

  // The smallest window under a prefix starts with the shortest code under it, and its
  // length grows with the prefix.
  primaryBits_ = std::min(kPrimaryBits, maxLength_);
  startLength_.resize(std::size_t{1} << primaryBits_);
  unsigned length = minLength_;
  for (std::uint64_t prefix = 0; prefix < startLength_.size(); ++prefix) {
    while ((prefix << (64 - primaryBits_)) > lastCode_[length]) ++length;
    startLength_[prefix] = static_cast<std::uint8_t>(length);
  }
}

}  // namespace quorlen
