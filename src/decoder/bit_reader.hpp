// MSB-first bit reader over an in-memory stream, built for table-driven decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "decoder/corrupt_stream_error.hpp"

namespace quorlen {

class BitReader {
 public:
  // After refill() the window holds at least this many bits, unless the stream ends first.
  static constexpr unsigned kMinWindowBits = 56;

  explicit BitReader(std::span<const std::uint8_t> data)
      : begin_(data.data()), pos_(data.data()), end_(data.data() + data.size()) {}

  // Names the part of the stream being read, for the truncation message.
  void setSection(const char* section) { section_ = section; }

  void refill() {
    if (end_ - pos_ >= 8) {
      std::uint64_t word = 0;
      for (int i = 0; i < 8; ++i) word = (word << 8) | pos_[i];
      // Bits of a partly taken byte may land below the valid part of the window;
      // they are the same stream bits the next refill puts there, so OR keeps them right.
      window_ |= word >> count_;
      const unsigned bytes = (63 - count_) >> 3;
      pos_ += bytes;
      count_ += bytes * 8;
    } else {
      while (count_ <= 56 && pos_ < end_) {
        window_ |= std::uint64_t{*pos_++} << (56 - count_);
        count_ += 8;
      }
    }
  }

  // The next 64 bits, left-aligned; bits past the end of the stream read as 0.
  // Only the first available() of them are stream bits.
  std::uint64_t window() const { return window_; }
  unsigned available() const { return count_; }

  void consume(unsigned n) {
    if (n > count_) truncated();
    window_ <<= n;
    count_ -= n;
  }

  // Reads an n-bit number, 0 <= n <= kMinWindowBits.
  std::uint64_t read(unsigned n) {
    if (n == 0) return 0;
    if (count_ < n) refill();
    if (count_ < n) truncated();
    const std::uint64_t value = window_ >> (64 - n);
    window_ <<= n;
    count_ -= n;
    return value;
  }

  // A number written as its 5-bit bit length b and then its b bits, the first of them 1.
  std::uint32_t readLengthPrefixed() {
    const auto width = static_cast<unsigned>(read(5));
    if (width == 0) return 0;
    const auto value = static_cast<std::uint32_t>(read(width));
    if ((value >> (width - 1)) == 0) throw CorruptStreamError("length-prefixed number with a leading zero bit");
    return value;
  }

  // Bits taken so far.
  std::uint64_t position() const { return static_cast<std::uint64_t>(pos_ - begin_) * 8 - count_; }
  std::uint64_t remaining() const { return static_cast<std::uint64_t>(end_ - begin_) * 8 - position(); }

  [[noreturn]] void truncated() const { throw CorruptStreamError(std::string("stream ends inside the ") + section_); }

 private:
  const std::uint8_t* begin_;
  const std::uint8_t* pos_;
  const std::uint8_t* end_;
  std::uint64_t window_ = 0;
  unsigned count_ = 0;
  const char* section_ = "header";
};

}  // namespace quorlen
