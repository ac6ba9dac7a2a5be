// MSB-first bit reader over an in-memory stream, built for table-driven decoding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>

#include "common/failure.hpp"
#include "common/stream_format.hpp"

namespace quorlen {

// Where a stream comes from when it is not all in memory: a file read as it arrives.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The next bytes of the stream, empty at its end; valid until the next call.
  virtual std::span<const std::uint8_t> next() = 0;
  // The whole stream's size in bytes, when it is known before it is read.
  virtual std::optional<std::uint64_t> size() const { return std::nullopt; }
};

class BitReader {
 public:
  // After refill() the window holds at least this many bits, unless the stream ends first.
  static constexpr unsigned kMinWindowBits = 56;

  explicit BitReader(std::span<const std::uint8_t> data)
      : begin_(data.data()), pos_(data.data()), end_(data.data() + data.size()), size_(data.size()) {}

  // Reads the stream from `source` chunk by chunk; only the current chunk is held.
  explicit BitReader(ByteSource& source) : source_(&source), size_(source.size()) {}

  // Names the part of the stream being read, for the truncation message.
  void setSection(const char* section) { section_ = section; }

  void refill() {
    if (end_ - pos_ >= 8) {
      refillFromMemory();
    } else {
      refillSlowly();
    }
  }

  // Makes sure the window holds at least `bits` bits (at most kMinWindowBits), unless the
  // stream ends first. Away from the end of the bytes in memory it tops the window up
  // every time, which costs less than testing whether it needs it: on h64 that test
  // mispredicted about once in four codes (1.4 million times), and the rule list's
  // reading took 0.064 s of CPU with it against 0.060 s without (seven pairs).
  void ensure(unsigned bits) {
    if (end_ - pos_ >= 8) {
      refillFromMemory();
    } else if (count_ < bits) {
      refillSlowly();
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
    const auto width = static_cast<unsigned>(read(format::kPrefixBits));
    if (width == 0) return 0;
    const auto value = static_cast<std::uint32_t>(read(width));
    if ((value >> (width - 1)) == 0) refuseStream("length-prefixed number with a leading zero bit");
    return value;
  }

  // Bits taken so far.
  std::uint64_t position() const { return (before_ + static_cast<std::uint64_t>(pos_ - begin_)) * 8 - count_; }
  // Bits left to read; the largest value when a source does not know its size.
  std::uint64_t remaining() const {
    if (!size_) return std::numeric_limits<std::uint64_t>::max();
    return *size_ * 8 > position() ? *size_ * 8 - position() : 0;
  }

  // Takes the zero bits up to the next byte boundary and checks that the stream ends there.
  void expectPaddedEnd() {
    const auto padding = static_cast<unsigned>((8 - position() % 8) % 8);
    if (read(padding) != 0) refuseStream("non-zero padding after the end marker");
    if (count_ != 0 || pos_ != end_ || nextChunk()) refuseStream("data after the end marker");
  }

  [[noreturn]] void truncated() const { refuseStream(std::string("stream ends inside the ") + section_); }

 private:
  // Needs 8 bytes at pos_.
  void refillFromMemory() {
    std::uint64_t word = 0;
    for (int i = 0; i < 8; ++i) word = (word << 8) | pos_[i];
    // Bits of a partly taken byte may land below the valid part of the window;
    // they are the same stream bits the next refill puts there, so OR keeps them right.
    window_ |= word >> count_;
    const unsigned bytes = (63 - count_) >> 3;
    pos_ += bytes;
    count_ += bytes * 8;
  }

  void refillSlowly() {
    while (count_ <= 56) {
      if (pos_ == end_ && !nextChunk()) return;
      window_ |= std::uint64_t{*pos_++} << (56 - count_);
      count_ += 8;
    }
  }

  bool nextChunk() {
    if (source_ == nullptr) return false;
    const std::span<const std::uint8_t> chunk = source_->next();
    before_ += static_cast<std::uint64_t>(end_ - begin_);
    begin_ = pos_ = chunk.data();
    end_ = chunk.data() + chunk.size();
    return !chunk.empty();
  }

  ByteSource* source_ = nullptr;
  std::uint64_t before_ = 0;  // bytes of the chunks before the current one
  const std::uint8_t* begin_ = nullptr;
  const std::uint8_t* pos_ = nullptr;
  const std::uint8_t* end_ = nullptr;
  std::optional<std::uint64_t> size_;
  std::uint64_t window_ = 0;
  unsigned count_ = 0;
  const char* section_ = "header";
};

}  // namespace quorlen
