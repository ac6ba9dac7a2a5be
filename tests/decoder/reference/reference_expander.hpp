// The first expander, kept as the reference for the fast one: a walk of the rules
// that copies short expansions from a table built for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/grammar.hpp"

namespace quorlen::test {

// Restores a grammar that checkGrammar accepted, storing the expansions of rules of at
// most 64 bytes while `shortBudget` bytes last.
std::vector<std::uint8_t> referenceExpand(const Grammar& grammar, std::size_t shortBudget);

}  // namespace quorlen::test
