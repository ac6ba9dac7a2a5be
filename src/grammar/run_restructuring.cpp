// Gives every rule its final number, turning the longest bodies into runs of
// consecutive rule numbers and wrapping the symbols between them into stretch rules.
#include <algorithm>
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
  std::stable_sort(candidatesByLength.begin(), candidatesByLength.end(),
                   [&](std::int32_t a, std::int32_t b) { return bodyLength.at(a) > bodyLength.at(b); });
  std::int32_t longestStretch = -1;

  for (const std::int32_t best : candidatesByLength) {
    if (longestStretch > bodyLength.at(best) || bodyLength.at(best) < 1) break;
    std::int32_t candidates = 0;
    for (std::int32_t m = 0; m < bodyLength.at(best); ++m) {
      if (unnumbered(ruleBody.at(best)[static_cast<std::size_t>(m)])) ++candidates;
    }
    if (candidates < kMinimumRunSymbols) break;

    runRule.at(best) = 1;
    for (std::int32_t m = 0; m < bodyLength.at(best);) {
      const std::int32_t symbol = ruleBody.at(best)[static_cast<std::size_t>(m)];
      if (unnumbered(symbol)) {
        finalNumber.at(symbol - first) = nextNumber++;
        ++m;
        continue;
      }
      std::int32_t d = m + 1;
      while (d < bodyLength.at(best) && !unnumbered(ruleBody.at(best)[static_cast<std::size_t>(d)])) ++d;
      const std::int32_t n = ruleCount;
      bodyLength.at(n) = d - m;
      const RuleBody& walked = ruleBody.at(best);
      RuleBody stretch(walked.begin() + m, walked.begin() + d);
      ruleBody.at(n) = std::move(stretch);
      finalNumber.at(n) = nextNumber++;
      RuleBody& body = ruleBody.at(best);
      body[static_cast<std::size_t>(m)] = first + n;
      ++ruleCount;
      for (std::int32_t k = m + 1; k < d; ++k) body[static_cast<std::size_t>(k)] = DeletedSlot;
      longestStretch = std::max(longestStretch, d - m);
      m = d;
    }
  }

  for (std::int32_t j = 0; j < ruleCount; ++j) {
    if (finalNumber.at(j) == -1) finalNumber.at(j) = nextNumber++;
  }
  for (std::int32_t j = 0; j < ruleCount; ++j) {
    if (runRule.at(j) != 1) continue;
    RuleBody& body = ruleBody.at(j);
    std::int32_t kept = 0;
    for (std::int32_t m = 0; m < bodyLength.at(j); ++m) {
      if (body[static_cast<std::size_t>(m)] != DeletedSlot) body[static_cast<std::size_t>(kept++)] = body[static_cast<std::size_t>(m)];
    }
    bodyLength.at(j) = kept;
    // The stretch rules now hold copies of what the run's body held: on an input that
    // barely compresses the root's body is most of the input, and its block would stay
    // with the later phases (16 MiB of random bytes: 34 MB).
    body.resize(static_cast<std::size_t>(kept));
    body.shrink_to_fit();
  }
  for (std::int32_t j = 0; j < ruleCount; ++j) ruleOrder.at(finalNumber.at(j)) = j;
}

}  // namespace quorlen
