// The symbol code, the plain way: count, in a map, every symbol that the rule list and
// the end will write, rule by rule in any order, and give the counts to the Huffman
// builder in increasing symbol order.
#include <map>

#include "reference/huffman_tree.hpp"

namespace quorlen::reference {

void GrammarEncoder::buildSymbolCode() {
  const std::int32_t first = firstRuleSymbol();
  // A rule symbol is written as the symbol of the rule's final number.
  const auto written = [&](std::int32_t x) { return x < first ? x : first + finalNumber.at(x - first); };

  std::map<std::int32_t, std::int32_t> count;
  for (std::int32_t rule = 0; rule < ruleCount; ++rule) {
    const RuleBody& body = ruleBody.at(rule);
    if (runRule.at(rule)) {
      // A run writes its first rule and the marker; its length goes outside the code.
      ++count[written(body.front())];
      ++count[runMarker()];
    } else {
      for (std::int32_t i = 0; i < bodyLength.at(rule); ++i) ++count[written(body[static_cast<std::size_t>(i)])];
      ++count[endRuleMarker()];
    }
  }
  ++count[endStreamMarker()];

  buildCanonicalCode(HuffmanCandidates(count.begin(), count.end()), symbolCodes);
  const std::int32_t lastSymbol = highByte + ruleCount + 3;
  for (std::int32_t s = 0; s <= lastSymbol; ++s) symbolCodeSlot.at(s) = -1;
  for (std::int32_t j = 0; j < symbolCodes.count(); ++j) symbolCodeSlot.at(symbolCodes.at(j).symbol) = j;
}

}  // namespace quorlen::reference
