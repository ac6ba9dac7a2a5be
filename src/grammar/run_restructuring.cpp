// Gives every rule its final number, turning the longest bodies into runs of
// consecutive rule numbers and wrapping the symbols between them into stretch rules.
#include <algorithm>
#include <span>
#include <vector>

#include "encoder/grammar_encoder.hpp"

namespace quorlen {

namespace {

// A run body needs this many unnumbered rule symbols to be worth a run record.
constexpr std::int32_t kMinimumRunSymbols = 6;

}  // namespace

void GrammarEncoder::restructureRuns() {
  const std::int32_t first = firstRuleSymbol();
  for (std::int32_t i = 0; i < ruleCount; ++i) finalNumber.at(i) = -1;
  for (std::int32_t i = 0; i < ruleCount; ++i) runRule.at(i) = 0;
  finalNumber.at(0) = 0;
  std::int32_t nextNumber = 1;
  const auto unnumbered = [&](std::int32_t symbol) {
    return symbol >= first && finalNumber.at(symbol - first) == -1;
  };

  // Candidates longest first, the lowest rule index first among equal lengths. Their
  // lengths do not change while runs are made, and a stretch rule, whose index is
  // above them all, never has an unnumbered symbol: once one is the longest
  // candidate, no further run can be made.
  std::vector<std::int32_t> candidatesByLength(static_cast<std::size_t>(ruleCount));
  for (std::int32_t i = 0; i < ruleCount; ++i) candidatesByLength[static_cast<std::size_t>(i)] = i;
  // The lengths read as a span: through OffsetArray accesses in the comparisons h16's
  // sort (319 K rules) took 10-11 ms, 6-9 ms so (16 MiB of random bytes: 19-20 ms,
  // 10-13 ms).
  const std::span<const std::int32_t> lengths = bodyLength.cover(0, ruleCount - 1);
  std::stable_sort(candidatesByLength.begin(), candidatesByLength.end(), [&](std::int32_t a, std::int32_t b) {
    return lengths[static_cast<std::size_t>(a)] > lengths[static_cast<std::size_t>(b)];
  });
  std::int32_t longestStretch = -1;

  // A run's body is written anew at the end of the block: its unnumbered symbols,
  // numbered in order, and one stretch rule for each stretch between them. A stretch
  // rule's body stays where it is, in the run's old body, which is not written again:
  // on random bytes the root's body, most of the input, is not copied.
  for (const std::int32_t best : candidatesByLength) {
    const std::int32_t length = bodyLength.at(best);
    if (longestStretch > length || length < 1) break;
    const std::int64_t from = ruleBodies.startOf(best);
    std::int32_t candidates = 0;
    for (std::int32_t m = 0; m < length; ++m) {
      if (unnumbered(ruleBodies.symbolAt(from + m))) ++candidates;
    }
    if (candidates < kMinimumRunSymbols) break;

    runRule.at(best) = 1;
    ruleBodies.begin(best);
    std::int32_t kept = 0;
    for (std::int32_t m = 0; m < length;) {
      ++kept;
      const std::int32_t symbol = ruleBodies.symbolAt(from + m);
      if (unnumbered(symbol)) {
        finalNumber.at(symbol - first) = nextNumber++;
        ruleBodies.append(symbol);
        ++m;
        continue;
      }
      std::int32_t d = m + 1;
      while (d < length && !unnumbered(ruleBodies.symbolAt(from + d))) ++d;
      const std::int32_t n = ruleCount++;
      bodyLength.at(n) = d - m;
      ruleBodies.share(n, from + m);
      finalNumber.at(n) = nextNumber++;
      runRule.at(n) = 0;
      ruleBodies.append(first + n);
      longestStretch = std::max(longestStretch, d - m);
      m = d;
    }
    bodyLength.at(best) = kept;
  }

  for (std::int32_t j = 0; j < ruleCount; ++j) {
    if (finalNumber.at(j) == -1) finalNumber.at(j) = nextNumber++;
  }
  for (std::int32_t j = 0; j < ruleCount; ++j) ruleOrder.at(finalNumber.at(j)) = j;
}

}  // namespace quorlen
