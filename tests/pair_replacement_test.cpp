// Byte range scan and pair replacement, for the library's encoder and the reference.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "encoder_fixture.hpp"
#include "grammar/live_rank.hpp"
#include "grammar/pair_replacer.hpp"
#include "grammar/remap_array.hpp"

namespace quorlen::test_support {
namespace {

struct PairRule {
  std::int32_t left, right, uses;
  bool operator==(const PairRule&) const = default;
};

std::ostream& operator<<(std::ostream& out, const PairRule& rule) {
  return out << "(" << rule.left << ", " << rule.right << ", " << rule.uses << ")";
}

template <typename Encoder>
std::vector<PairRule> pairRules(Encoder& e) {
  std::vector<PairRule> rules;
  for (std::int32_t r = 0; r < e.nextSymbol - e.firstRuleSymbol(); ++r) {
    rules.push_back({e.pairLeft.at(r), e.pairRight.at(r), e.pairUses.at(r)});
  }
  return rules;
}

template <typename Encoder>
class PairReplacementTest : public ::testing::Test {
 protected:
  using Run = EncoderRun<Encoder>;
};

// The rules made while some pair occurred twice and the sequence left then, for
// both encoders, and every rule the reference makes after that.
template <typename Encoder>
void expectPairing(Encoder& e, const std::vector<PairRule>& passRules, const Symbols& remainder,
                   const std::vector<PairRule>& referenceRules) {
  std::vector<PairRule> rules = pairRules(e);
  if constexpr (kPairsUpRemainder<Encoder>) {
    EXPECT_EQ(rules, referenceRules);
  }
  rules.resize(static_cast<std::size_t>(passRuleCount(e)));
  EXPECT_EQ(rules, passRules);
  EXPECT_EQ(remainderOf(e), remainder);
}

using Encoders = ::testing::Types<GrammarEncoder, reference::GrammarEncoder>;
TYPED_TEST_SUITE(PairReplacementTest, Encoders);

TYPED_TEST(PairReplacementTest, ScanFindsTheSmallestAndLargestByte) {
  {
    typename TestFixture::Run run(bytesOf("a"), Phase::ScanByteRange);
    EXPECT_EQ(run->lowByte, 97);
    EXPECT_EQ(run->highByte, 97);
    EXPECT_EQ(run->firstRuleSymbol(), 101);
    EXPECT_EQ(run->sequenceLength, 2);
  }
  {
    typename TestFixture::Run run(bytesOf({255, 0}), Phase::ScanByteRange);
    EXPECT_EQ(run->lowByte, 0);
    EXPECT_EQ(run->highByte, 255);
    EXPECT_EQ(run->firstRuleSymbol(), 259);
  }
  {
    typename TestFixture::Run run(bytesOf({0}), Phase::ScanByteRange);
    EXPECT_EQ(run->lowByte, 0);
    EXPECT_EQ(run->highByte, 0);
    EXPECT_EQ(run->firstRuleSymbol(), 4);
  }
  {
    typename TestFixture::Run run(bytesOf("zzmaz"), Phase::ScanByteRange);
    EXPECT_EQ(run->lowByte, 'a');
    EXPECT_EQ(run->highByte, 'z');
  }
}

TYPED_TEST(PairReplacementTest, ScanOfNoInputLeavesTheStartValues) {
  std::vector<std::int32_t> symbols{E};
  TypeParam e(symbols.data(), 1);
  e.scanByteRange();
  EXPECT_EQ(e.lowByte, 256);
  EXPECT_EQ(e.highByte, 0);
}

TYPED_TEST(PairReplacementTest, OneByteMakesOneRuleWithTheSentinel) {
  typename TestFixture::Run run(bytesOf("a"), Phase::ReplacePairs);
  expectPairing(*run, {}, {97, E}, {{97, E, 1}});
  if constexpr (kPairsUpRemainder<TypeParam>) {
    EXPECT_EQ(run->sequenceLength, 1);
    EXPECT_EQ(run->sequence[0], 101);
    EXPECT_EQ(run->nextSymbol, 102);
  } else {
    EXPECT_EQ(run->sequenceLength, 2);
    EXPECT_EQ(run->nextSymbol, 101);
  }
}

TYPED_TEST(PairReplacementTest, SentinelPairSortsFirstAndTouchesItsNeighbour) {
  typename TestFixture::Run run(bytesOf("aa"), Phase::ReplacePairs);
  expectPairing(*run, {}, {97, 97, E}, {{97, E, 1}, {97, 101, 1}});
}

TYPED_TEST(PairReplacementTest, UncountedOverlapStillTouchesItsGroup) {
  typename TestFixture::Run run(bytesOf("aaa"), Phase::ReplacePairs);
  expectPairing(*run, {}, {97, 97, 97, E}, {{97, E, 1}, {97, 97, 1}, {102, 101, 1}});
}

TYPED_TEST(PairReplacementTest, OverlappingPairsCountLeftToRight) {
  typename TestFixture::Run run(bytesOf("aaaa"), Phase::ReplacePairs);
  expectPairing(*run, {{97, 97, 2}}, {101, 101, E}, {{97, 97, 2}, {101, E, 1}, {101, 102, 1}});
}

TYPED_TEST(PairReplacementTest, TouchedGroupOfTheTopCountIsDroppedForThePass) {
  typename TestFixture::Run run(bytesOf("abcabc"), Phase::ReplacePairs);
  EXPECT_EQ(run->firstRuleSymbol(), 103);
  expectPairing(*run, {{97, 98, 2}, {103, 99, 2}}, {104, 104, E},
                {{97, 98, 2}, {103, 99, 2}, {104, E, 1}, {104, 105, 1}});
}

TYPED_TEST(PairReplacementTest, GroupTouchedThroughItsUncountedEntryIsDropped) {
  typename TestFixture::Run run(bytesOf({97, 97, 97, 33, 33}), Phase::ReplacePairs);
  // Pass 1 makes (33, E) and (97, 33); (97, 97) comes only in pass 2.
  expectPairing(*run, {}, {97, 97, 97, 33, 33, E},
                {{33, E, 1}, {97, 33, 1}, {97, 97, 1}, {102, 101, 1}, {103, 104, 1}});
}

TYPED_TEST(PairReplacementTest, ElevenByteExampleInFivePasses) {
  typename TestFixture::Run run(bytesOf("abracadabra"), Phase::ReplacePairs);
  EXPECT_EQ(run->highByte, 114);
  expectPairing(*run, {{97, 98, 2}, {114, 97, 2}, {118, 119, 2}}, {120, 99, 97, 100, 120, E},
                {{97, 98, 2},
                 {114, 97, 2},
                 {118, 119, 2},
                 {97, 100, 1},
                 {120, E, 1},
                 {120, 99, 1},
                 {121, 122, 1},
                 {123, 124, 1}});
  if constexpr (kPairsUpRemainder<TypeParam>) {
    EXPECT_EQ(run->sequence[0], 125);
    EXPECT_EQ(run->sequenceLength, 1);
  }
}

TYPED_TEST(PairReplacementTest, TwelveByteExample) {
  typename TestFixture::Run run(bytesOf("aaababbbbbaa"), Phase::ReplacePairs);
  EXPECT_EQ(run->highByte, 98);
  const std::vector<PairRule> rules = pairRules(*run);
  ASSERT_GE(rules.size(), 2u);
  // (97, 97) at 0, 1 and 10 counts twice, as its overlapping entry at 1 is skipped.
  EXPECT_EQ(rules[0], (PairRule{97, 97, 2}));
  EXPECT_EQ(rules[1], (PairRule{97, 98, 2}));
}

// What every grammar left by pair replacement satisfies: the reference's ends in one
// root, the library's in the sequence that root would spell out.
TYPED_TEST(PairReplacementTest, LeavesOneRootWhoseExpansionIsTheInput) {
  for (const auto& [name, bytes] : smallSampleInputs()) {
    SCOPED_TRACE(name);
    typename TestFixture::Run run(bytes, Phase::ReplacePairs);
    TypeParam& e = *run;
    const std::int32_t first = e.firstRuleSymbol();
    const std::int32_t rules = e.nextSymbol - first;
    const Symbols remainder = remainderOf(e);
    ASSERT_GE(remainder.size(), 2u);
    ASSERT_EQ(remainder.back(), E);
    if constexpr (kPairsUpRemainder<TypeParam>) {
      ASSERT_GE(rules, 1);
      EXPECT_EQ(e.sequenceLength, 1);
      EXPECT_EQ(e.sequence[0], e.nextSymbol - 1);
    }
    if constexpr (requires { e.pairSlots; e.pairHeap; }) {
      EXPECT_TRUE(e.pairSlots.empty());
      EXPECT_TRUE(e.pairHeap.empty());
    }
    for (auto* table : {&e.pairLeft, &e.pairRight, &e.pairUses}) {
      EXPECT_EQ(table->low(), 0);
      EXPECT_EQ(table->count(), rules);
    }

    int sentinelRules = 0;
    std::map<std::int32_t, std::int64_t> usesFromParents;
    if constexpr (!kPairsUpRemainder<TypeParam>) {
      // The sequence left is the body of a root of one use.
      for (const std::int32_t s : remainder) {
        if (s >= first) ++usesFromParents[s - first];
      }
    }
    for (std::int32_t r = 0; r < rules; ++r) {
      const std::int32_t left = e.pairLeft.at(r), right = e.pairRight.at(r), uses = e.pairUses.at(r);
      ASSERT_GE(uses, 1) << r;
      ASSERT_GE(left, 0) << r;
      ASSERT_LT(left, first + r) << r;
      ASSERT_GE(right, E) << r;
      ASSERT_LT(right, first + r) << r;
      ASSERT_TRUE(left <= e.highByte || left >= first) << r;
      ASSERT_TRUE(right <= e.highByte || right >= first) << r;
      if (right == E) ++sentinelRules;
      if (left >= first) usesFromParents[left - first] += uses;
      if (right >= first) usesFromParents[right - first] += uses;
    }
    const std::int32_t roots = kPairsUpRemainder<TypeParam> ? 1 : 0;
    EXPECT_EQ(sentinelRules, roots);
    if (roots == 1) {
      EXPECT_EQ(e.pairUses.at(rules - 1), 1);
    }
    // A rule replaced exactly as many occurrences as its parents hold of it; those
    // made while some pair occurred twice, at least two.
    for (std::int32_t r = 0; r + roots < rules; ++r) {
      ASSERT_EQ(usesFromParents[r], e.pairUses.at(r)) << r;
      if (r < passRuleCount(e)) {
        ASSERT_GE(e.pairUses.at(r), 2) << r;
      }
    }

    Symbols expansion;
    for (const std::int32_t s : remainder) expandPairSymbol(e, s, expansion);
    Symbols expected = asSymbols(bytes);
    expected.push_back(E);
    EXPECT_EQ(expansion, expected);
  }
}

// Byte-pair lists are built by walks over the sequence, a band of them at a time.
// One walk per pass that needs a list (band of one entry) must give the rules of
// the default bands; so must a memory budget so small that byte-pair lists are
// dropped whenever the arena fills, and built again by later walks, and the arena
// compacted before every large pass; so must an index that grows by a quarter from
// its first size on, through sizes that are not powers of two; so must compactions
// that check a list only once it is all stale (stale entries carried through many
// compactions, until a packing checks them) or whenever it has one; so must new
// pairs counted from the sequence alone, or from neighbourhoods captured for whole
// passes (packed meanwhile under the small budget). Inputs large enough for several
// index growths, bands and compactions.
TEST(PairReplacer, ByteListsBuiltInAnyBandOrBudgetOrIndexGrowthGiveTheSameRules) {
  std::mt19937 random(13);
  std::vector<Bytes> inputs;
  for (const auto& sample : quorlen::test::smallSampleInputs()) inputs.push_back(sample.bytes);
  for (const int alphabet : {2, 5, 256}) {
    Bytes bytes(150000);
    for (auto& b : bytes) b = static_cast<std::uint8_t>(random() % static_cast<unsigned>(alphabet));
    inputs.push_back(bytes);
  }
  inputs.push_back(quorlen::test::includeTar(200000));
  // Random bytes broken by long runs of one byte: many short-lived lists, released
  // in bulk, and runs whose counts change as their ends are replaced.
  Bytes broken;
  while (broken.size() < 150000) {
    for (int k = 0; k < 3000; ++k) broken.push_back(static_cast<std::uint8_t>(random()));
    broken.insert(broken.end(), random() % 2000 + 1, static_cast<std::uint8_t>(random()));
  }
  inputs.push_back(broken);
  // Lists past a huge page's worth, so that reserved ranges mark huge pages and
  // compactions shrink the lists inside them: run with those settings only.
  constexpr std::size_t kLarge = std::size_t{3} << 19;
  inputs.push_back(quorlen::test::includeTar(kLarge));
  for (const Bytes& bytes : inputs) {
    if (bytes.empty()) continue;
    EncoderRun<GrammarEncoder> run(bytes, Phase::ReplacePairs);
    const std::vector<PairRule> expected = pairRules(*run);
    // (band entries, bytes per symbol, index growth by a quarter from): one-entry
    // bands; the default band under a budget that the records alone soon exceed, and
    // under one that random bytes pass only in their later passes (the sequence then
    // packed more often, the arena squeezed first when mostly garbage); the defaults
    // but for the index's growth.
    struct Setting {
      std::int64_t band;
      double budget;
      std::size_t fineGrowthFrom;
      std::int32_t staleToCheck = 0;
      double captureShare = 0;
      std::size_t hugeFrom = 0;
    };
    // The last two keep lists, records and index in reserved huge-page ranges, whose
    // shrinks and releases return whole huge pages only.
    for (const auto& [band, budget, fineGrowthFrom, staleToCheck, captureShare, hugeFrom] :
         {Setting{1, 0, 0}, Setting{0, 0.25, 0}, Setting{0, 2.0, 0}, Setting{0, 0, 1024}, Setting{0, 0, 0, 1},
          Setting{0, 0.25, 0, 1}, Setting{0, 0, 0, 1 << 30}, Setting{0, 0, 0, 0, -1}, Setting{0, 0, 0, 0, 1},
          Setting{0, 2.0, 0, 0, 1}, Setting{0, 0, 0, 0, 0, 1}, Setting{0, 0.25, 0, 0, 0, 1}}) {
      if (bytes.size() >= kLarge && hugeFrom == 0) continue;
      Symbols sequence(bytes.begin(), bytes.end());
      sequence.push_back(E);
      GrammarEncoder e(sequence.data(), static_cast<std::int32_t>(sequence.size()));
      e.scanByteRange();
      e.nextSymbol = e.firstRuleSymbol();
      e.nextSymbol += PairReplacer(sequence.data(), e.sequenceLength, e.nextSymbol,
                                   PairRuleTables{e.pairLeft, e.pairRight, e.pairUses}, band, budget,
                                   fineGrowthFrom, staleToCheck, captureShare, hugeFrom)
                          .run();
      ASSERT_EQ(pairRules(e), expected) << bytes.size() << " bytes, band " << band << ", budget " << budget
                                         << ", growth from " << fineGrowthFrom << ", stale to check " << staleToCheck
                                         << ", capture " << captureShare << ", huge from " << hugeFrom;
    }
  }
}

TEST(RemapArray, ReleasedPagesReadAsZeroAndTheRestStays) {
  RemapArray<std::int32_t> array;
  array.resize(5000);
  for (std::size_t i = 0; i < array.size(); ++i) array[i] = static_cast<std::int32_t>(i) + 1;
  array.releasePages(100, 4000);  // pages of 1024 elements: 1024 .. 3071 go back
  for (std::size_t i = 0; i < array.size(); ++i) {
    ASSERT_EQ(array[i], i >= 1024 && i < 3072 ? 0 : static_cast<std::int32_t>(i) + 1) << i;
  }
  array.resize(20000);
  array[19999] = 7;
  EXPECT_EQ(array[4999], 5000);
  EXPECT_EQ(array[19999], 7);
}

// An array in a huge-page reservation: growth keeps the address and the contents,
// a shrink keeps what is below the new capacity, growth past the reservation moves
// the array into plain pages with its contents, and a refused reservation leaves a
// plain array.
TEST(RemapArray, HugeReservationKeepsContentsAndAddress) {
  constexpr std::size_t kHugeInts = kHugePage / sizeof(std::int32_t);
  RemapArray<std::int32_t> array;
  ASSERT_TRUE(array.reserveHugeRange(4 * kHugeInts));
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(array.data()) % kHugePage, 0u);
  const auto fill = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) array[i] = static_cast<std::int32_t>(i) + 1;
  };
  array.resize(1000);
  fill(0, 1000);
  std::int32_t* const address = array.data();
  array.resize(3 * kHugeInts + 5);
  fill(1000, array.size());
  EXPECT_EQ(array.data(), address);
  array.releasePages(10, kHugeInts + 10);  // no whole huge page within: nothing goes back
  array.resize(kHugeInts + 7);
  array.setCapacity(array.size());
  array.resize(4 * kHugeInts);
  EXPECT_EQ(array.data(), address);
  for (std::size_t i = 0; i < kHugeInts + 7; ++i) ASSERT_EQ(array[i], static_cast<std::int32_t>(i) + 1) << i;
  fill(kHugeInts + 7, array.size());
  array.resize(4 * kHugeInts + 1);  // past the reservation
  EXPECT_FALSE(array.inHugeRange());
  for (std::size_t i = 0; i < 4 * kHugeInts; ++i) ASSERT_EQ(array[i], static_cast<std::int32_t>(i) + 1) << i;
  array.setCapacity(0);
  array.resize(3);
  array[2] = 9;
  EXPECT_EQ(array[2], 9);

  RemapArray<std::int32_t> refused;  // 128 TiB: more than a process may map
  EXPECT_FALSE(refused.reserveHugeRange(std::size_t{1} << 45));
  refused.resize(5000);
  refused[4999] = 4;
  EXPECT_EQ(refused[4999], 4);
  EXPECT_FALSE(refused.inHugeRange());
}

// Live bits and ranks against a plain count, for densities from none to all live,
// runs of empty words, and lengths that end on and just past a word's end.
TEST(LiveRank, RanksAreTheLivePositionsBefore) {
  std::mt19937 random(13);
  for (const std::size_t length : {1u, 31u, 32u, 33u, 64u, 65u, 1000u, 4097u}) {
    for (const unsigned percentLive : {0u, 3u, 50u, 97u, 100u}) {
      std::vector<bool> live(length);
      for (std::size_t p = 0; p < length; ++p) live[p] = random() % 100 < percentLive;
      LiveRank rank(length);
      ASSERT_EQ(rank.words(), (length + 31) / 32);
      for (std::size_t word = 0; word < rank.words(); ++word) {
        std::uint32_t bits = 0;
        for (std::size_t p = word * 32; p < std::min(length, word * 32 + 32); ++p) bits |= std::uint32_t{live[p]} << (p % 32);
        rank.appendWord(bits);
      }
      std::uint32_t before = 0;
      for (std::size_t p = 0; p < length; ++p) {
        ASSERT_EQ(rank.isLive(p), live[p]) << length << " positions, " << p;
        ASSERT_EQ(rank.rank(p), before) << length << " positions, " << p;
        before += live[p] ? 1 : 0;
      }
      EXPECT_EQ(rank.liveCount(), before);
    }
  }
}

}  // namespace
}  // namespace quorlen::test_support
