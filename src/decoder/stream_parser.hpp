// Reads a whole compressed stream into a Grammar, checking every field on the way.
#pragma once

#include <cstdint>
#include <span>

#include "decoder/bit_reader.hpp"
#include "decoder/grammar.hpp"

namespace quorlen {

// The longest stream the format can hold, in bytes: a header with both code tables
// (66 + 57 x 31 bits), fewer than 2^31 symbol code lengths of at most 56 bits each,
// fewer than 2^32 body symbols and 2^31 rule records (a marker of up to 56 bits, or a run
// of up to 56 + 56 + 36 bits), and the end marker with its padding. A source that goes on
// beyond this cannot be a stream, whatever it holds.
inline constexpr std::uint64_t kMaxStreamBytes =
    (66 + 57 * 31 + (std::uint64_t{1} << 31) * 56 + (std::uint64_t{1} << 32) * 56 +
     (std::uint64_t{1} << 31) * (56 + 56 + 36) + 56 + 7 + 7) / 8;

// Parses a non-empty stream. Throws Failure (corruptInput) for anything the encoder never
// writes: truncation, bad or wasteful code tables, codes no record uses, misplaced
// markers, runs past the last rule, bits after the end marker other than zero padding.
// The grammar's structure (cycles, reachability, size) is left to checkGrammar.
Grammar parseStream(std::span<const std::uint8_t> stream);
// The same for a stream that `in` reads, from memory or as it arrives from a file.
Grammar parseStream(BitReader& in);

}  // namespace quorlen
