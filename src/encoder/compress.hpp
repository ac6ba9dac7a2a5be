// In-memory compression: the exact stream the quorlen program writes for the same bytes.
#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <vector>

#include "quorlen/quorlen.hpp"

namespace quorlen {

// Inputs of kMaxInputSize bytes or more are refused: every count, position and
// symbol of the encoder must fit a signed 32-bit integer.
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
// `wholeBytes`, when given, receives the stream's size less its partly padded last byte.
std::vector<std::uint8_t> compressBytes(std::span<const std::uint8_t> input, std::int64_t* wholeBytes = nullptr);

}  // namespace quorlen
