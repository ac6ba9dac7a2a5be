// Keeps the root and every pair rule used in more than one place, and writes each
// kept rule's body with the rules that are not kept folded in.
#include <span>
#include <utility>
#include <vector>

#include "encoder/grammar_encoder.hpp"
#include "encoder/release_storage.hpp"

namespace quorlen {

void GrammarEncoder::selectRules() {
  const std::int32_t pairRuleCount = nextSymbol - firstRuleSymbol();
  for (std::int32_t r = 0; r < pairRuleCount; ++r) keptIndex.at(r) = -1;
  // The root, kept as rule 0, is no pair rule: its body is the sequence that pair
  // replacement left, read in place. Pairing that sequence up would give rules of
  // one use each, all folded into the root, so the root's children are its symbols,
  // each below a parent of one use.
  ruleCount = sequenceLength > 1 ? 1 : 0;  // an empty input leaves EndSentinel alone
  markKept(std::span<const std::int32_t>(sequence, static_cast<std::size_t>(sequenceLength)), 1);
  if (ruleCount > 0) ruleOrder.at(0) = kRootRule;
  for (std::int32_t r = 0; r < pairRuleCount; ++r) {
    if (keptIndex.at(r) != -1) ruleOrder.at(keptIndex.at(r)) = r;
  }
}

// Preorder walk of the derivation trees below `symbols`, left to right, with an
// explicit stack since grammars nest deeply. The walk below a rule depends on that
// rule alone, so a subtree walked once is not walked again: doing so would repeat
// the same tests.
void GrammarEncoder::markKept(std::span<const std::int32_t> symbols, std::int32_t parentUses) {
  const std::int32_t first = firstRuleSymbol();
  const auto pairRules = static_cast<std::size_t>(nextSymbol - first);
  // The pair tables cover exactly the pair rules 0 .. pairRules-1.
  if (pairRules == 0) return;
  keptIndex.ensure(static_cast<std::int32_t>(pairRules) - 1);
  const std::span<std::int32_t> kept = keptIndex.window();
  // The walk reads the pair tables in place: a packed copy of them would save cache
  // misses (random bytes, 16 MiB: 0.8 s against 1.0 s) but, on an input that barely
  // compresses, cost 16 bytes per rule when the rules number half the input.
  const std::span<const std::int32_t> left = pairLeft.window();
  const std::span<const std::int32_t> right = pairRight.window();
  const std::span<const std::int32_t> ruleUses = pairUses.window();
  std::vector<bool> walked(pairRules);
  std::vector<std::pair<std::int32_t, std::int32_t>> pending;
  for (const std::int32_t symbol : symbols) {
    if (symbol < first) continue;
    pending.assign(1, {symbol, parentUses});
    while (!pending.empty()) {
      auto [s, uses] = pending.back();
      pending.pop_back();
      while (s >= first) {
        const auto r = static_cast<std::size_t>(s - first);
        if (ruleUses[r] != uses && kept[r] == -1) kept[r] = ruleCount++;
        if (walked[r]) break;
        walked[r] = true;
        uses = ruleUses[r];
        pending.emplace_back(right[r], uses);
        s = left[r];
      }
    }
  }
}

// Bodies are written one after another, each at the end of the block.
void GrammarEncoder::expandRules() {
  for (std::int32_t i = 0; i < ruleCount; ++i) bodyLength.at(i) = 0;
  // The root's body: the sequence left by pair replacement, each symbol below a
  // parent of one use, as selectRules walked it.
  if (ruleCount > 0) {
    ruleBodies.begin(0);
    for (std::int32_t k = 0; k < sequenceLength; ++k) expandSymbol(0, sequence[k], 1);
    if (bodyLength.at(0) > 0 && ruleBodies.symbolAt(ruleBodies.size() - 1) == EndSentinel) --bodyLength.at(0);
  }
  for (std::int32_t i = 1; i < ruleCount; ++i) {
    const std::int32_t r = ruleOrder.at(i);
    const std::int32_t uses = pairUses.at(r);
    ruleBodies.begin(i);
    expandSymbol(i, pairLeft.at(r), uses);
    expandSymbol(i, pairRight.at(r), uses);
    if (ruleBodies.symbolAt(ruleBodies.size() - 1) == EndSentinel) --bodyLength.at(i);
  }
  releaseStorage(expansionStack_);
}

// Appends the expansion of `symbol`, folding in every rule whose uses equal `uses`.
// Right children wait on a stack, so that deep nesting costs no machine stack.
void GrammarEncoder::expandSymbol(std::int32_t rule, std::int32_t symbol, std::int32_t uses) {
  const std::int32_t first = firstRuleSymbol();
  // The pair tables cover exactly the pair rules, from 0 on.
  const std::span<const std::int32_t> left = pairLeft.window();
  const std::span<const std::int32_t> right = pairRight.window();
  const std::span<const std::int32_t> ruleUses = pairUses.window();
  const std::span<const std::int32_t> kept = keptIndex.window();
  std::vector<std::int32_t>& pending = expansionStack_;
  pending.assign(1, symbol);
  while (!pending.empty()) {
    std::int32_t s = pending.back();
    pending.pop_back();
    while (s >= first && ruleUses[static_cast<std::size_t>(s - first)] == uses) {
      pending.push_back(right[static_cast<std::size_t>(s - first)]);
      s = left[static_cast<std::size_t>(s - first)];
    }
    appendToBody(rule, s >= first ? first + kept[static_cast<std::size_t>(s - first)] : s);
  }
}

// `rule` is the body being written, the last in the block.
void GrammarEncoder::appendToBody(std::int32_t rule, std::int32_t symbol) {
  ++bodyLength.at(rule);
  ruleBodies.append(symbol);
}

void GrammarEncoder::setBody(std::int32_t rule, std::span<const std::int32_t> symbols) {
  ruleBodies.begin(rule);
  for (const std::int32_t symbol : symbols) ruleBodies.append(symbol);
  bodyLength.at(rule) = static_cast<std::int32_t>(symbols.size());
}

}  // namespace quorlen
