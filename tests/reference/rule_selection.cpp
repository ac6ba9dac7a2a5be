// Keeps the root and every pair rule used in more than one place, and writes each
// kept rule's body with the rules that are not kept folded in.
#include "reference/grammar_encoder.hpp"

namespace quorlen::reference {

void GrammarEncoder::selectRules() {
  const std::int32_t pairRuleCount = nextSymbol - firstRuleSymbol();
  for (std::int32_t r = 0; r < pairRuleCount; ++r) keptIndex.at(r) = -1;
  ruleCount = 0;
  markKept(sequence[0], 0);
  for (std::int32_t r = 0; r < pairRuleCount; ++r) {
    if (keptIndex.at(r) != -1) ruleOrder.at(keptIndex.at(r)) = r;
  }
}

// Preorder walk of the derivation tree below `symbol`; recursion on left children only.
void GrammarEncoder::markKept(std::int32_t symbol, std::int32_t parentUses) {
  while (symbol >= firstRuleSymbol()) {
    const std::int32_t r = symbol - firstRuleSymbol();
    if (pairUses.at(r) != parentUses && keptIndex.at(r) == -1) keptIndex.at(r) = ruleCount++;
    markKept(pairLeft.at(r), pairUses.at(r));
    symbol = pairRight.at(r);
    parentUses = pairUses.at(r);
  }
}

void GrammarEncoder::expandRules() {
  for (std::int32_t i = 0; i < ruleCount; ++i) {
    bodyLength.at(i) = 0;
    ruleBody.at(i).clear();
  }
  for (std::int32_t i = 0; i < ruleCount; ++i) {
    const std::int32_t r = ruleOrder.at(i);
    const std::int32_t uses = pairUses.at(r);
    expandSymbol(i, pairLeft.at(r), uses);
    expandSymbol(i, pairRight.at(r), uses);
    if (ruleBody.at(i)[static_cast<std::size_t>(bodyLength.at(i) - 1)] == EndSentinel) --bodyLength.at(i);
  }
}

void GrammarEncoder::expandSymbol(std::int32_t rule, std::int32_t symbol, std::int32_t uses) {
  while (symbol >= firstRuleSymbol()) {
    const std::int32_t r = symbol - firstRuleSymbol();
    if (pairUses.at(r) != uses) {
      appendToBody(rule, firstRuleSymbol() + keptIndex.at(r));
      return;
    }
    expandSymbol(rule, pairLeft.at(r), uses);
    symbol = pairRight.at(r);
  }
  appendToBody(rule, symbol);
}

void GrammarEncoder::appendToBody(std::int32_t rule, std::int32_t symbol) {
  const std::int32_t length = ++bodyLength.at(rule);
  RuleBody& body = ruleBody.at(rule);
  body.resize(static_cast<std::size_t>(length));
  body[static_cast<std::size_t>(length - 1)] = symbol;
}

}  // namespace quorlen::reference
