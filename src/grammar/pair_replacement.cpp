#include "encoder/grammar_encoder.hpp"
#include "grammar/pair_replacer.hpp"

namespace quorlen {

void GrammarEncoder::replacePairs() {
  nextSymbol = firstRuleSymbol();
  const std::vector<PairRule> rules = PairReplacer(sequence, sequenceLength, nextSymbol).run();
  for (std::size_t r = 0; r < rules.size(); ++r) {
    const auto index = static_cast<std::int32_t>(r);
    pairLeft.at(index) = rules[r].left;
    pairRight.at(index) = rules[r].right;
    pairUses.at(index) = rules[r].uses;
  }
  nextSymbol += static_cast<std::int32_t>(rules.size());
  sequenceLength = 1;
}

}  // namespace quorlen
