#include "bitio/bit_output_stream.hpp"

#include "common/failure.hpp"

namespace quorlen {

void BitOutputStream::writeByte(std::uint8_t byte) {
  file_.put(static_cast<char>(byte));
  if (!file_) fail(ErrorKind::writeOutput, kDiskFull);
  ++bytesWritten_;
}

void BitOutputStream::putBits(const BitString& bits) {
  for (const char c : bits) {
    if (c == '1') bitBuffer_ |= static_cast<std::uint8_t>(0x80u >> bitCount_);
    if (++bitCount_ == 8) {
      writeByte(bitBuffer_);
      bitCount_ = 0;
      bitBuffer_ = 0;
    }
  }
}

void BitOutputStream::putCode(std::uint64_t value, std::int32_t length) {
  while (length > 0) {
    // As many of the leading bits as the current byte has room for.
    const std::int32_t room = 8 - bitCount_;
    const std::int32_t taken = length < room ? length : room;
    length -= taken;
    const auto bits = static_cast<std::uint32_t>((value >> length) & ((1u << taken) - 1));
    bitBuffer_ |= static_cast<std::uint8_t>(bits << (room - taken));
    bitCount_ += taken;
    if (bitCount_ == 8) {
      writeByte(bitBuffer_);
      bitCount_ = 0;
      bitBuffer_ = 0;
    }
  }
}

void BitOutputStream::close() {
  if (bitCount_ != 0) {
    writeByte(bitBuffer_);
    bitCount_ = 0;
    bitBuffer_ = 0;
  }
  file_.flush();
  if (!file_) fail(ErrorKind::writeOutput, kDiskFull);
}

}  // namespace quorlen
