// In-memory compression: the exact stream the quorlen program writes for the same bytes.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

namespace quorlen {

// Inputs of this many bytes or more are refused: every count, position and
// symbol of the encoder must fit a signed 32-bit integer.
inline constexpr std::int64_t kMaxInputSize = (std::int64_t{1} << 31) - 512;

class InputTooLargeError : public std::runtime_error {
 public:
  InputTooLargeError() : std::runtime_error("input too large") {}
};

// Runs every phase of one encoder over `symbols` (the input bytes followed by
// EndSentinel) and appends the stream to `stream`, leaving it open.
class BitOutputStream;
void encodeSymbols(std::vector<std::int32_t>& symbols, BitOutputStream& stream);

// Compresses `input` into a complete stream (an empty input gives an empty stream).
// Throws InputTooLargeError for inputs of kMaxInputSize bytes or more, std::bad_alloc
// when memory runs out.
std::vector<std::uint8_t> compressBytes(std::span<const std::uint8_t> input);

}  // namespace quorlen
