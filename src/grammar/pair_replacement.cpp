#include "encoder/grammar_encoder.hpp"
#include "grammar/pair_replacer.hpp"

namespace quorlen {

void GrammarEncoder::replacePairs() {
  nextSymbol = firstRuleSymbol();
  PairReplacer replacer(sequence, sequenceLength, nextSymbol, PairRuleTables{pairLeft, pairRight, pairUses});
  nextSymbol += replacer.run();
  sequenceLength = replacer.remainingLength();
}

}  // namespace quorlen
