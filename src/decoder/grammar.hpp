// The grammar a stream carries, as the parser leaves it for checking and expansion.
#pragma once

#include <cstdint>
#include <vector>

namespace quorlen {

struct Grammar {
  // Body elements: values below kFirstRule are bytes, kFirstRule + k names rule k.
  static constexpr std::uint32_t kFirstRule = 256;

  // Rule k's elements are elements[bodyStart[k] .. bodyStart[k+1]-1]. A run rule holds
  // exactly two words there instead: its first rule number and its length, standing
  // for the rules first, first+1, ..., first+length-1 (kept as a range, never expanded).
  std::vector<std::uint32_t> elements;
  std::vector<std::uint32_t> bodyStart;  // ruleCount + 1 entries
  std::vector<std::uint8_t> isRun;       // ruleCount entries, 1 for a run rule

  // Filled by checkGrammar: the number of bytes each rule expands to, and, for rules of
  // at most kShortSize bytes while a memory budget lasts, those bytes themselves, so that
  // the expansion copies them in one move instead of walking down to them.
  static constexpr std::uint32_t kShortSize = 64;
  // Copies of short expansions move in chunks of this many bytes and may overrun by up
  // to one chunk: shortBytes and output buffers carry that much slack.
  static constexpr std::uint32_t kCopyChunk = 16;
  struct ShortRef {
    std::uint32_t offset;  // into shortBytes
    std::uint32_t size;    // 0: not stored, walk the rule
  };
  std::vector<std::uint32_t> expandedSize;
  std::vector<ShortRef> shortRef;
  std::vector<std::uint8_t> shortBytes;

  std::uint32_t ruleCount() const { return static_cast<std::uint32_t>(isRun.size()); }
};

}  // namespace quorlen
