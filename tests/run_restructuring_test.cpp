// Run rules, stretch rules and the final numbering of every rule.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "encoder_fixture.hpp"

namespace quorlen::test_support {
namespace {

template <typename Encoder>
class RunRestructuringTest : public ::testing::Test {
 protected:
  // highByte 98 makes S(x) = 102 + x, as in the twelve-byte example.
  static constexpr std::int32_t kHighByte = 98;
  static std::int32_t S(std::int32_t rule) { return kHighByte + 4 + rule; }

  HandMadeEncoder<Encoder> grammar(const std::vector<Symbols>& bodies) {
    HandMadeEncoder<Encoder> e(kHighByte);
    for (std::size_t i = 0; i < bodies.size(); ++i) e.setBody(static_cast<std::int32_t>(i), bodies[i]);
    e->ruleCount = static_cast<std::int32_t>(bodies.size());
    return e;
  }

  static std::vector<std::int32_t> column(IntArray& array, std::int32_t count) {
    std::vector<std::int32_t> values;
    for (std::int32_t i = 0; i < count; ++i) values.push_back(array.at(i));
    return values;
  }
  static std::vector<std::int32_t> runFlags(Encoder& e) {
    std::vector<std::int32_t> values;
    for (std::int32_t i = 0; i < e.ruleCount; ++i) values.push_back(e.runRule.at(i));
    return values;
  }
};

using Encoders = ::testing::Types<GrammarEncoder, reference::GrammarEncoder>;
TYPED_TEST_SUITE(RunRestructuringTest, Encoders);

using Numbers = std::vector<std::int32_t>;

TYPED_TEST(RunRestructuringTest, TwelveByteGrammarBecomesOneRunWithTwoStretchRules) {
  const auto S = TestFixture::S;
  auto g = this->grammar({{S(1), S(2), S(2), S(3), S(3), S(1)}, {97, 97}, {97, 98}, {98, 98}});
  g->restructureRuns();
  TypeParam& e = *g;
  ASSERT_EQ(e.ruleCount, 6);
  EXPECT_EQ(this->column(e.finalNumber, 6), (Numbers{0, 1, 2, 4, 3, 5}));
  EXPECT_EQ(this->column(e.ruleOrder, 6), (Numbers{0, 1, 2, 4, 3, 5}));
  EXPECT_EQ(this->runFlags(e), (Numbers{1, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bodyOf(e, 0), (Symbols{S(1), S(2), S(4), S(3), S(5)}));
  EXPECT_EQ(bodyOf(e, 1), (Symbols{97, 97}));
  EXPECT_EQ(bodyOf(e, 2), (Symbols{97, 98}));
  EXPECT_EQ(bodyOf(e, 3), (Symbols{98, 98}));
  EXPECT_EQ(bodyOf(e, 4), (Symbols{S(2)}));  // a unit rule
  EXPECT_EQ(bodyOf(e, 5), (Symbols{S(3), S(1)}));
  if constexpr (kIsReference<TypeParam>) {
    EXPECT_EQ(e.ruleBody.at(4).size(), 1u);
    EXPECT_EQ(e.ruleBody.at(5).size(), 2u);
  } else {
    // Stretch rules keep their symbols in place, within the run's old body.
    EXPECT_EQ(e.ruleBodies.startOf(4), e.ruleBodies.startOf(1) - 6 + 2);
  }
}

TYPED_TEST(RunRestructuringTest, FiveCountedOccurrencesAreNotEnough) {
  const auto S = TestFixture::S;
  auto g = this->grammar({{S(1), S(2), S(1), 97, S(2), S(1)}, {97, 97}, {97, 98}});
  g->restructureRuns();
  TypeParam& e = *g;
  EXPECT_EQ(e.ruleCount, 3);
  EXPECT_EQ(this->column(e.finalNumber, 3), (Numbers{0, 1, 2}));
  EXPECT_EQ(this->column(e.ruleOrder, 3), (Numbers{0, 1, 2}));
  EXPECT_EQ(this->runFlags(e), (Numbers{0, 0, 0}));
  EXPECT_EQ(bodyOf(e, 0), (Symbols{S(1), S(2), S(1), 97, S(2), S(1)}));
}

TYPED_TEST(RunRestructuringTest, TheLoopStopsAtTheFirstLongestBodyThatFailsTheCount) {
  const auto S = TestFixture::S;
  // Rule 0 is longest and counts 1; rule 1 would count 7 but is never reached.
  auto g = this->grammar({{97, 97, 97, 97, 97, 97, 97, S(1)}, {S(2), S(2), S(2), S(2), S(2), S(2), S(2)}, {97, 98}});
  g->restructureRuns();
  EXPECT_EQ(this->runFlags(*g), (Numbers{0, 0, 0}));
  EXPECT_EQ(g->ruleCount, 3);
  EXPECT_EQ(this->column(g->finalNumber, 3), (Numbers{0, 1, 2}));
}

TYPED_TEST(RunRestructuringTest, OneRuleSixTimesCountsSixAndLeavesAFiveSymbolStretch) {
  const auto S = TestFixture::S;
  auto g = this->grammar({{S(1), S(1), S(1), S(1), S(1), S(1)}, {97, 98}});
  g->restructureRuns();
  TypeParam& e = *g;
  ASSERT_EQ(e.ruleCount, 3);
  EXPECT_EQ(this->runFlags(e), (Numbers{1, 0, 0}));
  EXPECT_EQ(bodyOf(e, 0), (Symbols{S(1), S(2)}));
  EXPECT_EQ(bodyOf(e, 2), (Symbols{S(1), S(1), S(1), S(1), S(1)}));
  EXPECT_EQ(this->column(e.finalNumber, 3), (Numbers{0, 1, 2}));
  EXPECT_EQ(this->column(e.ruleOrder, 3), (Numbers{0, 1, 2}));
}

TYPED_TEST(RunRestructuringTest, StretchesAtBothEndsOfTheRunBody) {
  const auto S = TestFixture::S;
  std::vector<Symbols> bodies{{97, S(1), S(2), S(3), S(4), S(5), S(6), 98}};
  for (int k = 0; k < 6; ++k) bodies.push_back({97, 98});
  auto g = this->grammar(bodies);
  g->restructureRuns();
  TypeParam& e = *g;
  ASSERT_EQ(e.ruleCount, 9);
  EXPECT_EQ(bodyOf(e, 0), (Symbols{S(7), S(1), S(2), S(3), S(4), S(5), S(6), S(8)}));
  EXPECT_EQ(bodyOf(e, 7), (Symbols{97}));
  EXPECT_EQ(bodyOf(e, 8), (Symbols{98}));
  EXPECT_EQ(this->column(e.finalNumber, 9), (Numbers{0, 2, 3, 4, 5, 6, 7, 1, 8}));
  EXPECT_EQ(this->column(e.ruleOrder, 9), (Numbers{0, 7, 1, 2, 3, 4, 5, 6, 8}));
  EXPECT_EQ(this->runFlags(e), (Numbers{1, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TYPED_TEST(RunRestructuringTest, TieForTheLongestBodyGoesToTheLowerIndex) {
  const auto S = TestFixture::S;
  auto g = this->grammar({{S(1), S(2)},
                          {97, 97, 97, 97, 97, 97},
                          {S(3), S(3), S(3), S(3), S(3), S(3)},
                          {97, 98}});
  g->restructureRuns();
  EXPECT_EQ(this->runFlags(*g), (Numbers{0, 0, 0, 0}));
  EXPECT_EQ(g->ruleCount, 4);
  EXPECT_EQ(this->column(g->finalNumber, 4), (Numbers{0, 1, 2, 3}));
}

TYPED_TEST(RunRestructuringTest, SecondRunNumbersItsRulesInBodyOrderAfterTheFirst) {
  const auto S = TestFixture::S;
  std::vector<Symbols> bodies{{S(1), S(2), S(3), S(4), S(5), S(6)}, {S(12), S(11), S(10), S(9), S(8), S(7)}};
  for (int k = 2; k <= 12; ++k) bodies.push_back({97, 98});
  auto g = this->grammar(bodies);
  g->restructureRuns();
  TypeParam& e = *g;
  ASSERT_EQ(e.ruleCount, 13);
  EXPECT_EQ(this->column(e.finalNumber, 13), (Numbers{0, 1, 2, 3, 4, 5, 6, 12, 11, 10, 9, 8, 7}));
  EXPECT_EQ(this->column(e.ruleOrder, 13), (Numbers{0, 1, 2, 3, 4, 5, 6, 12, 11, 10, 9, 8, 7}));
  EXPECT_EQ(this->runFlags(e), (Numbers{1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bodyOf(e, 1), (Symbols{S(12), S(11), S(10), S(9), S(8), S(7)}));
}

TYPED_TEST(RunRestructuringTest, RulesNumberedByAnEarlierRunBecomeOneStretch) {
  const auto S = TestFixture::S;
  // Rule 0 numbers rules 1..8; rule 8 repeats rules 1..3 (plain by then) before
  // six fresh rules, so its run starts with one stretch rule.
  std::vector<Symbols> bodies{{S(1), S(2), S(3), S(4), S(5), S(6), S(7), S(8), 97, 97}};
  for (int k = 1; k <= 7; ++k) bodies.push_back({97, 98});
  bodies.push_back({S(1), S(2), S(3), S(9), S(10), S(11), S(12), S(13), S(14)});
  for (int k = 9; k <= 14; ++k) bodies.push_back({98, 98});
  auto g = this->grammar(bodies);
  g->restructureRuns();
  TypeParam& e = *g;
  ASSERT_EQ(e.ruleCount, 17);
  EXPECT_EQ(e.runRule.at(0), 1);
  EXPECT_EQ(e.runRule.at(8), 1);
  EXPECT_EQ(bodyOf(e, 0), (Symbols{S(1), S(2), S(3), S(4), S(5), S(6), S(7), S(8), S(15)}));
  EXPECT_EQ(bodyOf(e, 15), (Symbols{97, 97}));
  EXPECT_EQ(bodyOf(e, 8), (Symbols{S(16), S(9), S(10), S(11), S(12), S(13), S(14)}));
  EXPECT_EQ(bodyOf(e, 16), (Symbols{S(1), S(2), S(3)}));
  for (std::int32_t k = 1; k <= 8; ++k) EXPECT_EQ(e.finalNumber.at(k), k) << k;
  EXPECT_EQ(e.finalNumber.at(15), 9);
  EXPECT_EQ(e.finalNumber.at(16), 10);
  for (std::int32_t k = 9; k <= 14; ++k) EXPECT_EQ(e.finalNumber.at(k), k + 2) << k;
}

// Every grammar of a real run, checked after the whole phase.
TYPED_TEST(RunRestructuringTest, FinalNumbersArePositionsAndRunsAreConsecutive) {
  for (const auto& [name, bytes] : smallSampleInputs()) {
    SCOPED_TRACE(name);
    EncoderRun<TypeParam> run(bytes, Phase::ExpandRules);
    TypeParam& e = *run;
    const std::int32_t keptRules = e.ruleCount;
    std::vector<Symbols> before;
    for (std::int32_t i = 0; i < keptRules; ++i) before.push_back(bodyOf(e, i));
    run.runUpTo(Phase::RestructureRuns);

    const std::int32_t first = e.firstRuleSymbol();
    ASSERT_GE(e.ruleCount, keptRules);
    EXPECT_EQ(e.finalNumber.at(0), 0);
    std::set<std::int32_t> numbers;
    for (std::int32_t i = 0; i < e.ruleCount; ++i) {
      const std::int32_t f = e.finalNumber.at(i);
      ASSERT_TRUE(f >= 0 && f < e.ruleCount) << i;
      numbers.insert(f);
      ASSERT_EQ(e.ruleOrder.at(f), i);
    }
    EXPECT_EQ(numbers.size(), static_cast<std::size_t>(e.ruleCount));

    for (std::int32_t i = 0; i < e.ruleCount; ++i) {
      const Symbols body = bodyOf(e, i);
      ASSERT_FALSE(body.empty()) << i;
      if (e.runRule.at(i)) {
        ASSERT_LT(i, keptRules) << "a stretch rule became a run";
        ASSERT_GE(body.size(), 2u) << i;
        const std::int32_t start = e.finalNumber.at(body[0] - first);
        for (std::size_t m = 0; m < body.size(); ++m) {
          ASSERT_GE(body[m], first) << i;
          ASSERT_EQ(e.finalNumber.at(body[m] - first), start + static_cast<std::int32_t>(m)) << i;
        }
      } else if (i < keptRules) {
        ASSERT_EQ(body, before[static_cast<std::size_t>(i)]) << i;
      }
      for (const std::int32_t s : body) ASSERT_TRUE((s >= 0 && s <= e.highByte) || s >= first) << i;
    }
    EXPECT_EQ(expandRule(e, 0), asSymbols(bytes));
  }
}

}  // namespace
}  // namespace quorlen::test_support
