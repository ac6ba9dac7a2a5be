// The canonical Huffman code of many symbols without a tree of nodes.
#pragma once

#include "coding/huffman_tree.hpp"

namespace quorlen {

// Gives `table` exactly what buildCanonicalCode gives it, entries in the same order:
// the same joins, taken in the same order, recorded as two child indices per branch
// instead of nodes allocated one by one. For the symbol code of an input that barely
// compresses (a million symbols and more) the tree of nodes held about 120 bytes per
// symbol at once; this holds 32.
void buildFlatCanonicalCode(const HuffmanCandidates& candidates, CodeTable& table);

}  // namespace quorlen
