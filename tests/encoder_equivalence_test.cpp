// The library's encoder against the reference encoder, phase by phase: after each
// phase every field that the phase fills must hold the same contents in both.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoder_fixture.hpp"

namespace quorlen::test_support {
namespace {

template <typename Array>
std::vector<std::int64_t> contents(Array& array) {
  std::vector<std::int64_t> values{array.low(), array.count()};
  for (std::int32_t i = array.low(); i < array.low() + array.count(); ++i) values.push_back(array.at(i));
  return values;
}

// The first `count` entries of a table that starts at 0, as contents() gives them.
std::vector<std::int64_t> prefix(IntArray& array, std::int32_t count) {
  std::vector<std::int64_t> values{count == 0 ? 0 : array.low(), count};
  for (std::int32_t i = 0; i < count; ++i) values.push_back(array.at(i));
  return values;
}

template <typename Table>
std::vector<std::string> codes(Table& table) {
  std::vector<std::string> values{std::to_string(table.low()) + "/" + std::to_string(table.count())};
  for (std::int32_t i = table.low(); i < table.low() + table.count(); ++i) {
    values.push_back(std::to_string(table.at(i).symbol) + ":" + codeText(table.at(i).code));
  }
  return values;
}

template <typename Encoder>
std::vector<Symbols> bodies(Encoder& e) {
  std::vector<Symbols> all;
  for (std::int32_t i = 0; i < e.ruleCount; ++i) all.push_back(bodyOf(e, i));
  return all;
}

// Parameterised by the sample's name, so that test names stay short.
class EncoderEquivalenceTest : public ::testing::TestWithParam<std::string> {};

std::vector<std::string> sampleNames() {
  std::vector<std::string> names;
  for (const auto& sample : smallSampleInputs()) names.push_back(sample.name);
  return names;
}

Bytes sampleNamed(const std::string& name) {
  for (auto& sample : smallSampleInputs()) {
    if (sample.name == name) return sample.bytes;
  }
  return {};
}

TEST_P(EncoderEquivalenceTest, EveryPhaseFillsTheSameFieldsAsTheReference) {
  const Bytes input = sampleNamed(GetParam());
  ASSERT_FALSE(input.empty());
  EncoderRun<GrammarEncoder> fast(input, Phase::None);
  EncoderRun<reference::GrammarEncoder> slow(input, Phase::None);
  GrammarEncoder& a = *fast;
  reference::GrammarEncoder& b = *slow;

  fast.runUpTo(Phase::ScanByteRange);
  slow.runUpTo(Phase::ScanByteRange);
  ASSERT_EQ(a.lowByte, b.lowByte);
  ASSERT_EQ(a.highByte, b.highByte);

  fast.runUpTo(Phase::ReplacePairs);
  slow.runUpTo(Phase::ReplacePairs);
  // The library's encoder stops where no pair occurs twice: its rules are the
  // reference's up to there, and the sequence it leaves is what the reference's
  // later rules, of one use each, spell out.
  const std::int32_t passRules = passRuleCount(b);
  ASSERT_EQ(a.nextSymbol, b.firstRuleSymbol() + passRules);
  ASSERT_EQ(contents(a.pairLeft), prefix(b.pairLeft, passRules));
  ASSERT_EQ(contents(a.pairRight), prefix(b.pairRight, passRules));
  ASSERT_EQ(contents(a.pairUses), prefix(b.pairUses, passRules));
  ASSERT_EQ(remainderOf(a), remainderOf(b));

  fast.runUpTo(Phase::SelectRules);
  slow.runUpTo(Phase::SelectRules);
  ASSERT_EQ(a.ruleCount, b.ruleCount);
  ASSERT_EQ(contents(a.keptIndex), prefix(b.keptIndex, passRules));
  ASSERT_EQ(a.ruleOrder.at(0), kRootRule);
  b.ruleOrder.at(0) = kRootRule;
  ASSERT_EQ(contents(a.ruleOrder), contents(b.ruleOrder));
  b.ruleOrder.at(0) = b.nextSymbol - b.firstRuleSymbol() - 1;

  fast.runUpTo(Phase::ExpandRules);
  slow.runUpTo(Phase::ExpandRules);
  ASSERT_EQ(contents(a.bodyLength), contents(b.bodyLength));
  ASSERT_EQ(bodies(a), bodies(b));

  fast.runUpTo(Phase::RestructureRuns);
  slow.runUpTo(Phase::RestructureRuns);
  ASSERT_EQ(a.ruleCount, b.ruleCount);
  ASSERT_EQ(contents(a.finalNumber), contents(b.finalNumber));
  ASSERT_EQ(contents(a.runRule), contents(b.runRule));
  ASSERT_EQ(contents(a.ruleOrder), contents(b.ruleOrder));
  ASSERT_EQ(contents(a.bodyLength), contents(b.bodyLength));
  ASSERT_EQ(bodies(a), bodies(b));

  fast.runUpTo(Phase::BuildSymbolCode);
  slow.runUpTo(Phase::BuildSymbolCode);
  ASSERT_EQ(codes(a.symbolCodes), codes(b.symbolCodes));
  ASSERT_EQ(contents(a.symbolCodeSlot), contents(b.symbolCodeSlot));

  fast.runUpTo(Phase::BuildLengthCode);
  slow.runUpTo(Phase::BuildLengthCode);
  ASSERT_EQ(contents(a.lengthHistogram), contents(b.lengthHistogram));
  ASSERT_EQ(codes(a.lengthCodes), codes(b.lengthCodes));
  ASSERT_EQ(contents(a.lengthCodeSlot), contents(b.lengthCodeSlot));
  ASSERT_EQ(a.lengthWidth, b.lengthWidth);
}

INSTANTIATE_TEST_SUITE_P(Samples, EncoderEquivalenceTest, ::testing::ValuesIn(sampleNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace quorlen::test_support
