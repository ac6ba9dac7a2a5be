// In-memory compression: the exact stream the quorlen program writes for the same bytes.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "quorlen/quorlen.hpp"

namespace quorlen {

// An empty symbol buffer with room for `count` input bytes and EndSentinel, its
// pages mapped and in huge pages where the system grants them: the encoder reads it
// at random places throughout.
std::vector<std::int32_t> reserveSymbols(std::int64_t count);

// Runs every phase of one encoder over `symbols` (the input bytes followed by
// EndSentinel) and appends the stream to `stream`, leaving it open.
class BitOutputStream;
void encodeSymbols(std::vector<std::int32_t>& symbols, BitOutputStream& stream);

// Compresses `input` into a complete stream (an empty input gives an empty stream).
// Throws Failure (inputTooLarge) for inputs of kMaxInputSize bytes or more, as every
// count, position and symbol of the encoder must fit a signed 32-bit integer;, std::bad_alloc
// when memory runs out.
// `wholeBytes`, when given, receives the stream's size less its partly padded last byte.
std::vector<std::uint8_t> compressBytes(std::span<const std::uint8_t> input, std::int64_t* wholeBytes = nullptr);

}  // namespace quorlen
