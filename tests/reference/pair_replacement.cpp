// Pair replacement by passes: every pass sorts all pair positions, groups equal
// pairs, and makes a rule of every untouched pair that has the pass's highest count.
#include <algorithm>

#include "reference/grammar_encoder.hpp"

namespace quorlen::reference {

namespace {

std::int32_t threeWay(std::int32_t a, std::int32_t b) { return (a > b) - (a < b); }

}  // namespace

std::int32_t GrammarEncoder::comparePairSlots(std::int32_t a, std::int32_t b) const {
  if (sequence[a] != sequence[b]) return threeWay(sequence[a], sequence[b]);
  if (sequence[a + 1] != sequence[b + 1]) return threeWay(sequence[a + 1], sequence[b + 1]);
  return threeWay(a, b);
}

bool GrammarEncoder::isTouched(const PairGroup& group, std::int32_t passFirstSymbol) const {
  for (std::int32_t k = 0; k < group.slotCount; ++k) {
    const std::int32_t p = pairSlots[static_cast<std::size_t>(group.firstSlot + k)];
    for (const std::int32_t s : {sequence[p], sequence[p + 1]}) {
      if (s == DeletedSlot || s >= passFirstSymbol) return true;
    }
  }
  return false;
}

void GrammarEncoder::makePairRule(const PairGroup& group) {
  const std::int32_t r = nextSymbol - firstRuleSymbol();
  const std::int32_t p0 = pairSlots[static_cast<std::size_t>(group.firstSlot)];
  pairLeft.at(r) = sequence[p0];
  pairRight.at(r) = sequence[p0 + 1];
  pairUses.at(r) = group.useCount;
  // An occurrence directly behind one just replaced overlaps it and is skipped.
  bool skip = false;
  std::int32_t previous = -2;
  for (std::int32_t k = 0; k < group.slotCount; ++k) {
    const std::int32_t p = pairSlots[static_cast<std::size_t>(group.firstSlot + k)];
    if (!skip && k > 0 && p == previous + 1) {
      skip = true;
    } else {
      skip = false;
      sequence[p] = nextSymbol;
      sequence[p + 1] = DeletedSlot;
    }
    previous = p;
  }
}

void GrammarEncoder::replacePairs() {
  nextSymbol = firstRuleSymbol();
  pairSlots.assign(static_cast<std::size_t>(sequenceLength), 0);
  for (;;) {
    std::int32_t kept = 0;
    for (std::int32_t i = 0; i < sequenceLength; ++i) {
      if (sequence[i] != DeletedSlot) sequence[kept++] = sequence[i];
    }
    sequenceLength = kept;
    if (sequenceLength == 1) break;

    const std::int32_t pairCount = sequenceLength - 1;
    for (std::int32_t k = 0; k < sequenceLength; ++k) pairSlots[static_cast<std::size_t>(k)] = k;
    std::sort(pairSlots.begin(), pairSlots.begin() + pairCount,
              [this](std::int32_t a, std::int32_t b) { return comparePairSlots(a, b) < 0; });

    const std::int32_t passFirstSymbol = nextSymbol;
    pairHeap.clear();
    for (std::int32_t i = 0; i < pairCount;) {
      const std::int32_t p = pairSlots[static_cast<std::size_t>(i)];
      const std::int32_t left = sequence[p];
      const std::int32_t right = sequence[p + 1];
      std::int32_t j = 0;
      std::int32_t uses = 0;
      bool skip = false;
      std::int32_t previous = -2;
      while (i + j < pairCount) {
        const std::int32_t q = pairSlots[static_cast<std::size_t>(i + j)];
        if (sequence[q] != left || sequence[q + 1] != right) break;
        if (!skip && j > 0 && q == previous + 1) {
          skip = true;
        } else {
          skip = false;
          ++uses;
        }
        previous = q;
        ++j;
      }
      pairHeap.push(PairGroup{i, j, uses});
      i += j;
    }

    const std::int32_t passCount = pairHeap.top().useCount;
    while (!pairHeap.empty() && pairHeap.top().useCount == passCount) {
      const PairGroup group = pairHeap.top();
      if (isTouched(group, passFirstSymbol)) {
        pairHeap.pop();
        continue;
      }
      makePairRule(group);
      pairHeap.pop();
      ++nextSymbol;
    }
  }
  pairSlots.clear();
  pairSlots.shrink_to_fit();
}

}  // namespace quorlen::reference
