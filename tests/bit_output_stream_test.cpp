#include "bitio/bit_output_stream.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>

#include "bitio/bit_string.hpp"
#include "common/failure.hpp"

namespace quorlen {
namespace {

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (const unsigned char c : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// An unbuffered sink that accepts `room` bytes and then fails every write.
class LimitedBuffer : public std::streambuf {
 public:
  explicit LimitedBuffer(int room) : room_(room) {}
  std::string written;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (room_ == 0) return traits_type::eof();
    --room_;
    written += traits_type::to_char_type(c);
    return c;
  }

 private:
  int room_;
};

TEST(BitOutputStreamTest, EightBitsMakeOneByteMostSignificantBitFirst) {
  std::ostringstream file;
  BitOutputStream stream(file);
  stream.putBits("10100001");
  EXPECT_EQ(hex(file.str()), "A1");
  EXPECT_EQ(stream.bitCount(), 0);
  EXPECT_EQ(stream.putPosition(), 1);
}

TEST(BitOutputStreamTest, BitsAreSplitAcrossCallsAndBytesFreely) {
  std::ostringstream file;
  BitOutputStream stream(file);
  stream.putBits("101");
  stream.putBits("");
  stream.putBits("00");
  stream.putBits("0011111");
  stream.putBits("0000");
  stream.putBits("1");
  EXPECT_EQ(hex(file.str()), "A1 F0");
  EXPECT_EQ(stream.bitCount(), 1);
  stream.close();
  EXPECT_EQ(hex(file.str()), "A1 F0 80");
}

TEST(BitOutputStreamTest, EmptyBitStringChangesNothing) {
  std::ostringstream file;
  BitOutputStream stream(file);
  stream.putBits("");
  EXPECT_EQ(stream.bitCount(), 0);
  EXPECT_EQ(stream.putPosition(), 0);
  stream.close();
  EXPECT_EQ(file.str(), "");
}

TEST(BitOutputStreamTest, ThirteenBitsWriteOneByteAndKeepFivePending) {
  std::ostringstream file;
  BitOutputStream stream(file);
  stream.putBits("1111000011001");
  EXPECT_EQ(hex(file.str()), "F0");
  EXPECT_EQ(stream.bitCount(), 5);
  EXPECT_EQ(stream.putPosition(), 1);
  stream.close();
  EXPECT_EQ(hex(file.str()), "F0 C8");
}

TEST(BitOutputStreamTest, CloseWritesThePendingBitsZeroPadded) {
  std::ostringstream file;
  BitOutputStream stream(file);
  stream.putBits("110");
  EXPECT_EQ(stream.putPosition(), 0);
  EXPECT_EQ(file.str(), "");
  stream.close();
  EXPECT_EQ(hex(file.str()), "C0");
  EXPECT_EQ(stream.bitCount(), 0);
}

TEST(BitOutputStreamTest, CloseOnAByteBoundaryWritesNothingMore) {
  std::ostringstream file;
  BitOutputStream stream(file);
  stream.putBits("0000000111111110");
  const auto position = stream.putPosition();
  stream.close();
  EXPECT_EQ(position, 2);
  EXPECT_EQ(file.str().size(), 2u);
  EXPECT_EQ(hex(file.str()), "01 FE");
}

TEST(BitOutputStreamTest, PutPositionCountsWholeBytesOnly) {
  std::ostringstream file;
  BitOutputStream stream(file);
  for (int k = 1; k <= 30; ++k) {
    stream.putBits("1");
    EXPECT_EQ(stream.putPosition(), k / 8) << k;
    EXPECT_EQ(stream.bitCount(), k % 8) << k;
  }
  stream.close();
  EXPECT_EQ(file.str().size(), 4u);
  EXPECT_EQ(hex(file.str()), "FF FF FF FC");
}

TEST(BitOutputStreamTest, AFailedByteWriteIsReportedAtThatByte) {
  LimitedBuffer sink(2);
  std::ostream file(&sink);
  BitOutputStream stream(file);
  stream.putBits("1111111100000000");
  EXPECT_EQ(stream.putPosition(), 2);
  EXPECT_THROW(stream.putBits("00000001"), Failure);
  EXPECT_EQ(hex(sink.written), "FF 00");
}

TEST(BitOutputStreamTest, AFailedPartialByteIsReportedOnClose) {
  LimitedBuffer sink(0);
  std::ostream file(&sink);
  BitOutputStream stream(file);
  stream.putBits("1");
  EXPECT_THROW(stream.close(), Failure);
}

TEST(BitOutputStreamTest, AStreamAlreadyInAFailedStateFailsOnTheFirstByte) {
  std::ostringstream file;
  file.setstate(std::ios::badbit);
  BitOutputStream stream(file);
  stream.putBits("1010101");
  EXPECT_THROW(stream.putBits("1"), Failure);
}

TEST(BitOutputStreamTest, PutCodeWritesTheBitsOfToBitString) {
  std::ostringstream byCode;
  std::ostringstream byString;
  BitOutputStream codeStream(byCode);
  BitOutputStream stringStream(byString);
  std::uint64_t state = 0x243F6A8885A308D3u;
  for (int k = 0; k < 2000; ++k) {
    state = state * 6364136223846793005u + 1442695040888963407u;
    const auto length = static_cast<std::int32_t>(k < 65 ? k : (state >> 58));  // every length 0..64 first
    codeStream.putCode(state, length);
    stringStream.putBits(toBitString(state, length));
    ASSERT_EQ(codeStream.bitCount(), stringStream.bitCount()) << k;
    ASSERT_EQ(codeStream.putPosition(), stringStream.putPosition()) << k;
  }
  codeStream.close();
  stringStream.close();
  EXPECT_EQ(byCode.str(), byString.str());
}

}  // namespace
}  // namespace quorlen
