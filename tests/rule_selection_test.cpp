// Choice of the kept rules and the expansion of their bodies.
#include <gtest/gtest.h>

#include <map>
#include <numeric>
#include <vector>

#include "encoder_fixture.hpp"

namespace quorlen::test_support {
namespace {

template <typename Encoder>
class RuleSelectionTest : public ::testing::Test {
 protected:
  using Run = EncoderRun<Encoder>;
};

using Encoders = ::testing::Types<GrammarEncoder, reference::GrammarEncoder>;
TYPED_TEST_SUITE(RuleSelectionTest, Encoders);

template <typename Encoder>
std::vector<std::int32_t> ruleOrderOf(Encoder& e) {
  std::vector<std::int32_t> order;
  for (std::int32_t i = 0; i < e.ruleCount; ++i) order.push_back(e.ruleOrder.at(i));
  return order;
}

TYPED_TEST(RuleSelectionTest, OneByteKeepsOnlyTheRootAndDropsTheSentinel) {
  typename TestFixture::Run run(bytesOf("a"), Phase::ExpandRules);
  TypeParam& e = *run;
  EXPECT_EQ(e.ruleCount, 1);
  EXPECT_EQ(e.ruleOrder.at(0), rootRule(e));
  if constexpr (kPairsUpRemainder<TypeParam>) {
    EXPECT_EQ(e.keptIndex.at(0), 0);
  }
  EXPECT_EQ(e.bodyLength.at(0), 1);
  // The block keeps the trimmed sentinel behind the body's length.
  if constexpr (kIsReference<TypeParam>) {
    EXPECT_EQ(e.ruleBody.at(0), (reference::RuleBody{97, E}));
  } else {
    EXPECT_EQ(e.ruleBodies.size(), 2);
    EXPECT_EQ(e.ruleBodies.symbolAt(1), E);
  }
}

TYPED_TEST(RuleSelectionTest, RulesUsedOnceAreFoldedIntoTheirParent) {
  typename TestFixture::Run run(bytesOf("abcabc"), Phase::ExpandRules);
  TypeParam& e = *run;
  EXPECT_EQ(e.ruleCount, 2);
  EXPECT_EQ(e.keptIndex.at(0), -1);
  EXPECT_EQ(e.keptIndex.at(1), 1);
  if constexpr (kPairsUpRemainder<TypeParam>) {
    EXPECT_EQ(e.keptIndex.at(2), -1);
    EXPECT_EQ(e.keptIndex.at(3), 0);
  }
  EXPECT_EQ(ruleOrderOf(e), (std::vector<std::int32_t>{rootRule(e), 1}));
  EXPECT_EQ(bodyOf(e, 0), (Symbols{104, 104}));
  EXPECT_EQ(bodyOf(e, 1), (Symbols{97, 98, 99}));
  EXPECT_EQ(e.bodyLength.at(0) + e.bodyLength.at(1), 5);
}

TYPED_TEST(RuleSelectionTest, RuleOnBothSidesOfOnePairIsKeptAndRenumbered) {
  typename TestFixture::Run run(Bytes(8, 97), Phase::ExpandRules);
  TypeParam& e = *run;
  ASSERT_EQ(e.nextSymbol - e.firstRuleSymbol(), kPairsUpRemainder<TypeParam> ? 4 : 2);
  EXPECT_EQ(e.pairUses.at(0), 4);
  EXPECT_EQ(e.pairUses.at(1), 2);
  EXPECT_EQ(e.ruleCount, 3);
  EXPECT_EQ(ruleOrderOf(e), (std::vector<std::int32_t>{rootRule(e), 1, 0}));
  if constexpr (kPairsUpRemainder<TypeParam>) {
    EXPECT_EQ(e.keptIndex.at(2), -1);
  }
  EXPECT_EQ(bodyOf(e, 0), (Symbols{102, 102}));
  EXPECT_EQ(bodyOf(e, 1), (Symbols{103, 103}));
  EXPECT_EQ(bodyOf(e, 2), (Symbols{97, 97}));
}

TYPED_TEST(RuleSelectionTest, TwelveByteExampleBodies) {
  typename TestFixture::Run run(bytesOf("aaababbbbbaa"), Phase::ExpandRules);
  TypeParam& e = *run;
  ASSERT_EQ(e.firstRuleSymbol(), 102);
  EXPECT_EQ(e.ruleCount, 4);
  EXPECT_EQ(bodyOf(e, 0), (Symbols{103, 104, 104, 105, 105, 103}));
  EXPECT_EQ(bodyOf(e, 1), (Symbols{97, 97}));
  EXPECT_EQ(bodyOf(e, 2), (Symbols{97, 98}));
  EXPECT_EQ(bodyOf(e, 3), (Symbols{98, 98}));
}

TYPED_TEST(RuleSelectionTest, SelectionAloneNumbersTheKeptRulesInPreorder) {
  typename TestFixture::Run run(bytesOf("abracadabra"), Phase::SelectRules);
  TypeParam& e = *run;
  // Pair rules 7 (the root) and 2 = (118, 119), used twice, are kept; 0 and 1
  // stand only inside rule 2 and rule 2 stands in two slots.
  EXPECT_EQ(e.ruleCount, 2);
  EXPECT_EQ(ruleOrderOf(e), (std::vector<std::int32_t>{rootRule(e), 2}));
  const std::vector<std::int32_t> expectedKept{-1, -1, 1, -1, -1, -1, -1, 0};
  const std::int32_t pairRules = e.nextSymbol - e.firstRuleSymbol();
  EXPECT_EQ(pairRules, kPairsUpRemainder<TypeParam> ? 8 : 3);
  for (std::int32_t r = 0; r < pairRules; ++r) {
    EXPECT_EQ(e.keptIndex.at(r), expectedKept[static_cast<std::size_t>(r)]) << r;
  }
  if constexpr (kIsReference<TypeParam>) {
    EXPECT_EQ(e.ruleBody.count(), 0);  // bodies come with the next phase
  } else {
    EXPECT_EQ(e.ruleBodies.size(), 0);
  }
}

TYPED_TEST(RuleSelectionTest, KeptRulesAreTheRootAndEveryRuleInTwoSlots) {
  for (const auto& [name, bytes] : smallSampleInputs()) {
    SCOPED_TRACE(name);
    typename TestFixture::Run run(bytes, Phase::ExpandRules);
    TypeParam& e = *run;
    const std::int32_t first = e.firstRuleSymbol();
    const std::int32_t pairRules = e.nextSymbol - first;
    std::map<std::int32_t, int> slots;
    if constexpr (!kPairsUpRemainder<TypeParam>) {
      for (std::int32_t k = 0; k < e.sequenceLength; ++k) {
        if (e.sequence[k] >= first) ++slots[e.sequence[k] - first];
      }
    }
    for (std::int32_t r = 0; r < pairRules; ++r) {
      if (e.pairLeft.at(r) >= first) ++slots[e.pairLeft.at(r) - first];
      if (e.pairRight.at(r) >= first) ++slots[e.pairRight.at(r) - first];
    }
    std::int32_t kept = 0;
    for (std::int32_t r = 0; r < pairRules; ++r) {
      const bool shouldKeep = (kPairsUpRemainder<TypeParam> && r == pairRules - 1) || slots[r] >= 2;
      const std::int32_t index = e.keptIndex.at(r);
      ASSERT_EQ(index != -1, shouldKeep) << r;
      if (index != -1) {
        ++kept;
        ASSERT_EQ(e.ruleOrder.at(index), r);
      }
    }
    if constexpr (kPairsUpRemainder<TypeParam>) {
      EXPECT_EQ(e.ruleCount, kept);
      EXPECT_EQ(e.keptIndex.at(pairRules - 1), 0);
    } else {
      EXPECT_EQ(e.ruleCount, kept + 1);
      EXPECT_EQ(e.ruleOrder.at(0), kRootRule);
    }
  }
}

TYPED_TEST(RuleSelectionTest, BodiesSpellOutTheirPairRulesWithoutTheSentinel) {
  for (const auto& [name, bytes] : smallSampleInputs()) {
    SCOPED_TRACE(name);
    typename TestFixture::Run run(bytes, Phase::ExpandRules);
    TypeParam& e = *run;
    const std::int32_t first = e.firstRuleSymbol();
    std::int64_t total = 0;
    for (std::int32_t i = 0; i < e.ruleCount; ++i) {
      const Symbols body = bodyOf(e, i);
      ASSERT_GE(body.size(), i == 0 ? 1u : 2u) << i;
      for (const std::int32_t s : body) {
        ASSERT_TRUE((s >= 0 && s <= e.highByte) || (s >= first + 1 && s < first + e.ruleCount)) << i << ": " << s;
      }
      total += e.bodyLength.at(i);
      Symbols pairExpansion;
      if (e.ruleOrder.at(i) == kRootRule) {
        for (const std::int32_t s : remainderOf(e)) expandPairSymbol(e, s, pairExpansion);
      } else {
        expandPairSymbol(e, first + e.ruleOrder.at(i), pairExpansion);
      }
      if (i == 0) {
        ASSERT_EQ(pairExpansion.back(), E);
        pairExpansion.pop_back();
      }
      ASSERT_EQ(expandRule(e, i), pairExpansion) << i;
    }
    // As in the reference, whose rules include the sequence left paired up: the
    // library's encoder leaves that sequence unpaired, where it stands for one rule
    // fewer than its length.
    const std::int32_t unpaired = kPairsUpRemainder<TypeParam> ? 0 : e.sequenceLength - 1;
    EXPECT_EQ(total, (e.nextSymbol - first) + unpaired + e.ruleCount - 1);
    EXPECT_EQ(expandRule(e, 0), asSymbols(bytes));
  }
}

}  // namespace
}  // namespace quorlen::test_support
