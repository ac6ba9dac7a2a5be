// The compact tables a random-access reader keeps of a checked grammar: enough to find
// any restored offset and expand from there, and nothing that grows with the restored size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/grammar.hpp"

namespace quorlen {

// Every rule is referred to by a word that says where its contents lie, so that a read
// touches one place per child instead of a rule table and then the contents:
//   below 256              a byte;
//   kShortTag | offset     a short rule: its size is shortBytes[offset], its bytes follow;
//   kBodyTag | index       a walked rule: its size is bodies[index - 2], its element
//                          count bodies[index - 1], its elements (words) from bodies[index].
// A run rule becomes a walked rule whose elements are the words of its run's rules.
struct ReaderTables {
  // Short rules keep their bytes and no body: a read copies them in one move instead of
  // walking down to them. A rule is short up to a size chosen per stream, the largest up
  // to kMaxShortSize whose tables fit the budget below. On h64 (64 MiB tar of headers),
  // 4 KiB reads took a median of 8.4 to 11.7 us with 32, 7.9 to 9.2 with 48 and 6.9 to
  // 7.3 with 64, at 3.24, 3.50 and 3.73 bytes per stream byte (two runs); 96 would take
  // 4.11, beyond the budget.
  static constexpr std::uint32_t kMaxShortSize = 64;
  // Tables take at most 3.75 bytes per stream byte (15 quarters; the rest of an open
  // reader's 4 is the vectors' headers and allocator slack), plus kBudgetFloor for tiny
  // streams; a grammar that cannot fit it gets the short size whose tables are smallest.
  static constexpr std::uint64_t kBudgetQuartersPerStreamByte = 15;
  static constexpr std::uint64_t kBudgetFloor = 1 << 16;
  // One prefix-sum sample per this many body words, so that finding the child that covers
  // an offset scans at most this many sizes after a binary search. On h64, 4 KiB reads
  // took 15.6 us with 4 (the samples' memory left less for short rules), 10.9 to 12.3
  // with 16 and 10.8 to 11.1 with 64, before copies moved in chunks: 16 bounds the scan
  // of long bodies at no measurable cost.
  static constexpr std::uint32_t kSampleStep = 16;

  // Short bytes are copied in chunks of this many bytes, which may read past the last
  // rule: shortBytes ends with that much slack.
  static constexpr std::uint32_t kCopyChunk = 16;

  static constexpr std::uint32_t kShortTag = std::uint32_t{1} << 30;
  static constexpr std::uint32_t kBodyTag = std::uint32_t{1} << 31;
  static constexpr std::uint32_t kPlaceMask = kShortTag - 1;

  std::vector<std::uint32_t> bodies;
  // bodySamples[j]: offset inside its rule at which the element in bodies[j * kSampleStep]
  // starts (meaningless where that word is a size or a count).
  std::vector<std::uint32_t> bodySamples;
  std::vector<std::uint8_t> shortBytes;
  std::uint32_t root = 0;    // the start rule's word
  std::uint32_t height = 0;  // the most walked rules on any path from the start rule
  std::uint64_t restoredSize = 0;

  std::uint32_t sizeOf(std::uint32_t word) const {
    if (word < Grammar::kFirstRule) return 1;
    if (word & kBodyTag) return bodies[(word & kPlaceMask) - 2];
    return shortBytes[word & kPlaceMask];
  }

  std::uint64_t memoryBytes() const { return (bodies.capacity() + bodySamples.capacity()) * 4 + shortBytes.capacity(); }
};

// Turns a grammar that checkGrammar accepted (expandedSize filled), read from a stream of
// `streamSize` bytes, into reader tables, consuming it. Throws std::bad_alloc when memory runs out, or when the tables would not
// fit their 30-bit places (only hand-made grammars of gigabytes come near that).
ReaderTables buildReaderTables(Grammar&& grammar, std::size_t streamSize);

}  // namespace quorlen
