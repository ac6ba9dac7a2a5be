// Structural checks of a parsed grammar, and the expansion size of every rule.
#pragma once

#include <cstddef>
#include <cstdint>

#include "decoder/grammar.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

// Restored outputs are shorter than this, as the encoder refuses longer inputs.
inline constexpr std::uint64_t kMaxRestoredSize = kMaxInputSize;

// Throws Failure (corruptInput) unless the run rules list disjoint ranges that together
// fill the rule numbers 1 .. T for some T. checkGrammar does this first.
void checkRunRanges(const Grammar& grammar);

// Fills grammar.expandedSize. Throws Failure (corruptInput) when runs overlap or leave gaps
// in the numbers after the start rule, when a rule reaches itself, when a rule is not
// reached from the start rule, or when the start rule would expand to kMaxRestoredSize
// bytes or more. Linear in the size of the grammar, with no recursion.
void checkGrammar(Grammar& grammar);

}  // namespace quorlen
