// Writes out the bytes a checked grammar stands for.
#pragma once

#include "decoder/byte_sink.hpp"
#include "decoder/grammar.hpp"

namespace quorlen {

// Bytes handed to the sink per call, except for the last block.
inline constexpr std::size_t kOutputBlockSize = std::size_t{1} << 20;

// Expands the start rule of a grammar that checkGrammar accepted. An explicit stack
// replaces recursion, as grammars may nest millions of rules deep.
void expandGrammar(const Grammar& grammar, ByteSink& sink);

}  // namespace quorlen
