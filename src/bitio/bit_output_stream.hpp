// Packs bit strings into bytes, most significant bit first, onto an output stream.
#pragma once

#include <cstdint>
#include <ostream>

#include "bitio/bit_string.hpp"

namespace quorlen {

class BitOutputStream {
 public:
  explicit BitOutputStream(std::ostream& file) : file_(file) {}
  BitOutputStream(const BitOutputStream&) = delete;
  BitOutputStream& operator=(const BitOutputStream&) = delete;

  // Appends the bits in order; throws Failure (writeOutput) when a completed byte cannot be written.
  void putBits(const BitString& bits);

  // The same as putBits(toBitString(value, length)) for 0 <= length <= 64, without
  // building the string: the stream writer's path for codes.
  void putCode(std::uint64_t value, std::int32_t length);

  // Whole bytes handed to the file so far; a partial byte is not counted.
  std::int64_t putPosition() const { return bytesWritten_; }

  // Writes the partial byte, zero-padded, and flushes the file. A failure here,
  // including one that shows only when buffered data reaches the file, throws Failure (writeOutput).
  void close();

  std::int32_t bitCount() const { return bitCount_; }

 private:
  void writeByte(std::uint8_t byte);

  std::ostream& file_;
  std::int32_t bitCount_ = 0;
  std::uint8_t bitBuffer_ = 0;
  std::int64_t bytesWritten_ = 0;
};

}  // namespace quorlen
