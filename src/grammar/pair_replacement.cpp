#include "encoder/grammar_encoder.hpp"
#include "grammar/pair_replacer.hpp"

namespace quorlen {

void GrammarEncoder::replacePairs() {
  nextSymbol = firstRuleSymbol();
  nextSymbol += PairReplacer(sequence, sequenceLength, nextSymbol, PairRuleTables{pairLeft, pairRight, pairUses}).run();
  sequenceLength = 1;
}

}  // namespace quorlen
