// Reads a whole compressed stream into a Grammar, checking every field on the way.
#pragma once

#include <cstdint>
#include <span>

#include "decoder/grammar.hpp"

namespace quorlen {

// Parses a non-empty stream. Throws CorruptStreamError for anything the encoder never
// writes: truncation, bad or wasteful code tables, codes no record uses, misplaced
// markers, runs past the last rule, bits after the end marker other than zero padding.
// The grammar's structure (cycles, reachability, size) is left to checkGrammar.
Grammar parseStream(std::span<const std::uint8_t> stream);

}  // namespace quorlen
