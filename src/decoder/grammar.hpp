// The grammar a stream carries, as the parser leaves it for checking and expansion.
#pragma once

#include <cstdint>
#include <vector>

#include "common/huge_pages.hpp"

namespace quorlen {

struct Grammar {
  // Body elements: values below kFirstRule are bytes, kFirstRule + k names rule k.
  static constexpr std::uint32_t kFirstRule = 256;

  // Rule k's elements are elements[bodyStart[k] .. bodyStart[k+1]-1]. A run rule holds
  // exactly two words there instead: its first rule number and its length, standing
  // for the rules first, first+1, ..., first+length-1 (kept as a range, never expanded).
  HugePageVector<std::uint32_t> elements;
  HugePageVector<std::uint32_t> bodyStart;  // ruleCount + 1 entries
  HugePageVector<std::uint8_t> isRun;       // ruleCount entries, 1 for a run rule

  // Filled by checkGrammar: the number of bytes each rule expands to (rule 0's is the
  // restored size).
  HugePageVector<std::uint32_t> expandedSize;

  std::uint32_t ruleCount() const { return static_cast<std::uint32_t>(isRun.size()); }
};

}  // namespace quorlen
