#include "encoder/offset_array.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "encoder/grammar_encoder.hpp"

namespace quorlen {
namespace {

TEST(OffsetArrayTest, StartsEmpty) {
  OffsetArray<std::int32_t> array;
  EXPECT_EQ(array.count(), 0);
  EXPECT_EQ(array.capacity(), 0);
}

TEST(OffsetArrayTest, FirstAccessFixesTheWindowStart) {
  OffsetArray<std::int32_t> array;
  EXPECT_EQ(array.at(5), 0);
  EXPECT_EQ(array.low(), 5);
  EXPECT_EQ(array.count(), 1);
  EXPECT_EQ(array.capacity(), 1);
}

TEST(OffsetArrayTest, DownwardGrowthDoublesPastCountPlusDistance) {
  OffsetArray<std::int32_t> array;
  array.at(5) = 50;
  array.at(2);
  EXPECT_EQ(array.low(), 2);
  EXPECT_EQ(array.count(), 4);
  EXPECT_EQ(array.capacity(), 8);
  // The old element moved to storage slot 3, which is index 5.
  EXPECT_EQ(array.at(5), 50);
  EXPECT_EQ(array.at(2), 0);
  EXPECT_EQ(array.at(3), 0);
  EXPECT_EQ(array.at(4), 0);
  EXPECT_EQ(array.count(), 4);
  EXPECT_EQ(array.capacity(), 8);
}

TEST(OffsetArrayTest, DownwardGrowthKeepsEveryElementAndZeroFillsTheNewOnes) {
  OffsetArray<std::int32_t> array;
  for (std::int32_t i = 0; i < 10; ++i) array.at(i) = 100 + i;
  array.at(-3);
  EXPECT_EQ(array.low(), -3);
  EXPECT_EQ(array.count(), 13);
  EXPECT_EQ(array.capacity(), 16);
  for (std::int32_t i = -3; i < 0; ++i) EXPECT_EQ(array.at(i), 0) << i;
  for (std::int32_t i = 0; i < 10; ++i) EXPECT_EQ(array.at(i), 100 + i) << i;
  EXPECT_EQ(array.count(), 13);
}

TEST(OffsetArrayTest, DownwardCapacityMustEndStrictlyAboveCountPlusDistance) {
  OffsetArray<std::int32_t> array;
  array.at(3) = 7;  // capacity 1, count 1
  array.at(0);      // d = 3: count + d = 4, so 1 -> 2 -> 4 -> 8
  EXPECT_EQ(array.capacity(), 8);
  EXPECT_EQ(array.count(), 4);
  EXPECT_EQ(array.at(3), 7);
}

TEST(OffsetArrayTest, UpwardGrowthDoublesUntilTheIndexFits) {
  OffsetArray<std::int32_t> array;
  array.at(0) = 1;
  array.at(1) = 2;
  EXPECT_EQ(array.capacity(), 2);
  array.at(2) = 3;
  EXPECT_EQ(array.capacity(), 4);
  array.at(4) = 5;
  EXPECT_EQ(array.capacity(), 8);
  EXPECT_EQ(array.count(), 5);
  array.at(100);
  EXPECT_EQ(array.capacity(), 128);
  EXPECT_EQ(array.count(), 101);
  EXPECT_EQ(array.low(), 0);
  EXPECT_EQ(array.at(0), 1);
  EXPECT_EQ(array.at(1), 2);
  EXPECT_EQ(array.at(2), 3);
  EXPECT_EQ(array.at(3), 0);
  EXPECT_EQ(array.at(4), 5);
  for (std::int32_t i = 5; i <= 100; ++i) EXPECT_EQ(array.at(i), 0) << i;
}

TEST(OffsetArrayTest, AReadAloneLengthensTheWindowWithinCapacity) {
  OffsetArray<std::int32_t> array;
  for (std::int32_t i = 0; i < 3; ++i) array.at(i) = 1;
  EXPECT_EQ(array.count(), 3);
  EXPECT_EQ(array.capacity(), 4);
  EXPECT_EQ(array.at(7), 0);
  EXPECT_EQ(array.count(), 8);
  EXPECT_EQ(array.capacity(), 8);
}

TEST(OffsetArrayTest, AReadInsideCapacityButPastCountZeroFills) {
  OffsetArray<std::int32_t> array;
  array.at(0) = 9;
  array.at(1) = 9;
  array.at(2) = 9;  // capacity 4
  EXPECT_EQ(array.at(3), 0);
  EXPECT_EQ(array.count(), 4);
  EXPECT_EQ(array.capacity(), 4);
}

TEST(OffsetArrayTest, EnsureWidensLikeAnAccess) {
  OffsetArray<std::int32_t> array;
  array.ensure(-2);
  EXPECT_EQ(array.low(), -2);
  EXPECT_EQ(array.count(), 1);
  array.ensure(1);
  EXPECT_EQ(array.count(), 4);
  EXPECT_EQ(array.at(1), 0);
}

TEST(OffsetArrayTest, CountNeverShrinks) {
  OffsetArray<std::int32_t> array;
  array.at(10);
  array.at(0);
  const std::int32_t count = array.count();
  array.at(5);
  array.at(0);
  EXPECT_EQ(array.count(), count);
  EXPECT_EQ(array.low(), 0);
}

TEST(OffsetArrayTest, ClearEmptiesTheArrayAndTheNextAccessStartsAnew) {
  OffsetArray<std::int32_t> array;
  array.at(0) = 4;
  array.at(9) = 4;
  array.clear();
  EXPECT_EQ(array.count(), 0);
  EXPECT_EQ(array.capacity(), 0);
  EXPECT_EQ(array.at(-7), 0);
  EXPECT_EQ(array.low(), -7);
  EXPECT_EQ(array.count(), 1);
  EXPECT_EQ(array.capacity(), 1);
}

TEST(OffsetArrayTest, ExtremeIndicesAreAccepted) {
  OffsetArray<std::int32_t> array;
  array.at(INT32_MAX) = 3;
  EXPECT_EQ(array.low(), INT32_MAX);
  EXPECT_EQ(array.count(), 1);
  EXPECT_EQ(array.at(INT32_MAX), 3);
  OffsetArray<std::int32_t> negative;
  negative.at(INT32_MIN) = -3;
  EXPECT_EQ(negative.low(), INT32_MIN);
  EXPECT_EQ(negative.at(INT32_MIN), -3);
}

TEST(OffsetArrayTest, SlotsReadZeroWhateverTheirStorageHeldBefore) {
  // Int and flag storage is not cleared in advance: a slot is zeroed as it enters
  // the window. Freed memory full of ones, likely to be handed out again, must not
  // show through, after growth upward or downward.
  for (int round = 0; round < 3; ++round) {
    { const std::vector<std::int32_t> dirty(std::size_t{1} << 20, -1); }
    OffsetArray<std::int32_t> array;
    FlagArray flags;
    for (std::int32_t i = 0; i < 200000; i += 7) {
      array.at(i) = i + 1;
      flags.at(i) = 1;
    }
    array.at(-3000);
    flags.at(-3000);
    std::int32_t wrong = 0;
    for (std::int32_t i = -3000; i < 200000; ++i) {
      const bool written = i >= 0 && i % 7 == 0;
      wrong += array.at(i) != (written ? i + 1 : 0);
      wrong += flags.at(i) != (written ? 1 : 0);
    }
    EXPECT_EQ(wrong, 0) << round;
  }
}

TEST(OffsetArrayTest, FlagElementsStartAtZero) {
  FlagArray flags;
  flags.at(3) = 1;
  EXPECT_EQ(flags.at(0), 0);
  EXPECT_EQ(flags.at(3), 1);
  EXPECT_EQ(flags.at(6), 0);
}

TEST(OffsetArrayTest, CodeTableSlotNeverWrittenIsAnEmptyCodeWithSymbolZero) {
  CodeTable table;
  table.at(2).code = CodeWord{5, 3};
  table.at(2).symbol = 9;
  EXPECT_EQ(table.at(0).code, CodeWord{});
  EXPECT_EQ(table.at(0).symbol, 0);
  EXPECT_EQ(table.at(5).code, CodeWord{});
  EXPECT_EQ(table.at(5).symbol, 0);
  // The written entry survives both growth directions.
  table.at(-4);
  EXPECT_EQ(table.at(2).code, (CodeWord{5, 3}));
  EXPECT_EQ(table.at(2).symbol, 9);
}

TEST(OffsetArrayTest, VectorsStartWithNoBlockAndKeepTheirBlocksOnGrowth) {
  using RuleBody = std::vector<std::int32_t>;
  OffsetArray<RuleBody> bodies;
  bodies.at(1) = RuleBody{1, 2, 3};
  EXPECT_TRUE(bodies.at(0).empty());
  bodies.at(64);
  bodies.at(-64);
  EXPECT_EQ(bodies.at(1), (RuleBody{1, 2, 3}));
  EXPECT_TRUE(bodies.at(63).empty());
}

// Bodies written one after another through many growths of the block keep their
// symbols, and a body shared in place reads the symbols of the one it lies in.
TEST(RuleBodiesTest, BodiesSurviveGrowthAndSharedBodiesReadInPlace) {
  RuleBodies bodies;
  for (std::int32_t rule = 0; rule < 300; ++rule) {
    bodies.begin(rule);
    for (std::int32_t k = 0; k < rule; ++k) bodies.append(rule * 1000 + k);
  }
  bodies.share(300, bodies.startOf(299) + 5);
  for (std::int32_t rule = 0; rule < 300; ++rule) {
    const std::span<std::int32_t> symbols = bodies.symbols(rule, rule);
    for (std::int32_t k = 0; k < rule; ++k) ASSERT_EQ(symbols[static_cast<std::size_t>(k)], rule * 1000 + k);
  }
  EXPECT_EQ(bodies.size(), 300 * 299 / 2);
  EXPECT_EQ(bodies.symbols(300, 2)[1], 299006);
}

}  // namespace
}  // namespace quorlen
