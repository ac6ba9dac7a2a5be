#include "reference/pair_heap.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

namespace quorlen::reference {
namespace {

PairGroup group(std::int32_t firstSlot, std::int32_t useCount) { return {firstSlot, useCount, useCount}; }

std::vector<PairGroup> drain(PairHeap& heap) {
  std::vector<PairGroup> tops;
  while (!heap.empty()) {
    tops.push_back(heap.top());
    heap.pop();
  }
  return tops;
}

TEST(PairHeapTest, DefaultGroupHoldsMinusOneEverywhere) {
  const PairGroup g;
  EXPECT_EQ(g.firstSlot, -1);
  EXPECT_EQ(g.slotCount, -1);
  EXPECT_EQ(g.useCount, -1);
}

TEST(PairHeapTest, OutranksByUseCountThenByLowerFirstSlot) {
  EXPECT_TRUE(outranks(group(9, 3), group(0, 2)));
  EXPECT_FALSE(outranks(group(0, 2), group(9, 3)));
  EXPECT_TRUE(outranks(group(1, 2), group(4, 2)));
  EXPECT_FALSE(outranks(group(4, 2), group(1, 2)));
  EXPECT_FALSE(outranks(group(4, 2), group(4, 2)));
}

TEST(PairHeapTest, StartsEmptyWithRoomForSixteen) {
  PairHeap heap;
  EXPECT_TRUE(heap.empty());
  EXPECT_EQ(heap.count(), 0);
  EXPECT_EQ(heap.capacity(), 16);
}

TEST(PairHeapTest, TopsComeHighestUseCountFirstAndLowestSlotAmongEqualCounts) {
  PairHeap heap;
  heap.push(group(0, 1));
  heap.push(group(3, 2));
  heap.push(group(5, 4));
  heap.push(group(1, 2));
  heap.push(group(8, 1));
  heap.push(group(2, 4));
  const std::vector<PairGroup> tops = drain(heap);
  std::vector<std::pair<int, int>> order;
  for (const auto& g : tops) order.emplace_back(g.useCount, g.firstSlot);
  EXPECT_EQ(order, (std::vector<std::pair<int, int>>{{4, 2}, {4, 5}, {2, 1}, {2, 3}, {1, 0}, {1, 8}}));
}

TEST(PairHeapTest, KeepsEveryFieldOfAGroup) {
  PairHeap heap;
  heap.push({7, 5, 3});
  EXPECT_EQ(heap.top().firstSlot, 7);
  EXPECT_EQ(heap.top().slotCount, 5);
  EXPECT_EQ(heap.top().useCount, 3);
}

TEST(PairHeapTest, GrowsByDoublingAndKeepsItsStorageWhenEmptied) {
  PairHeap heap;
  for (std::int32_t i = 0; i < 16; ++i) heap.push(group(i, 1));
  EXPECT_EQ(heap.capacity(), 16);
  heap.push(group(16, 1));
  EXPECT_EQ(heap.capacity(), 32);
  for (std::int32_t i = 17; i < 33; ++i) heap.push(group(i, 1));
  EXPECT_EQ(heap.capacity(), 64);
  EXPECT_EQ(heap.count(), 33);
  heap.clear();
  EXPECT_TRUE(heap.empty());
  EXPECT_EQ(heap.capacity(), 64);
  // A heap emptied by clearing works again from scratch.
  heap.push(group(4, 1));
  heap.push(group(2, 1));
  EXPECT_EQ(heap.top().firstSlot, 2);
  EXPECT_EQ(heap.count(), 2);
}

TEST(PairHeapTest, GroupsSurviveGrowthInOrder) {
  PairHeap heap;
  for (std::int32_t i = 0; i < 40; ++i) heap.push(group(i, i % 5));
  const std::vector<PairGroup> tops = drain(heap);
  ASSERT_EQ(tops.size(), 40u);
  for (std::size_t k = 1; k < tops.size(); ++k) EXPECT_TRUE(outranks(tops[k - 1], tops[k])) << k;
}

TEST(PairHeapTest, InterleavedPushesAndPopsAlwaysExposeTheBestRemainingGroup) {
  std::mt19937 random(7);
  PairHeap heap;
  std::vector<PairGroup> model;
  std::int32_t nextSlot = 0;
  for (int step = 0; step < 3000; ++step) {
    if (model.empty() || random() % 3 != 0) {
      const PairGroup g = group(nextSlot++, static_cast<std::int32_t>(random() % 6) + 1);
      heap.push(g);
      model.push_back(g);
    } else {
      const auto best = std::min_element(model.begin(), model.end(), outranks);
      ASSERT_EQ(heap.top().firstSlot, best->firstSlot) << "step " << step;
      heap.pop();
      model.erase(best);
    }
    ASSERT_EQ(heap.count(), static_cast<std::int32_t>(model.size()));
  }
}

}  // namespace
}  // namespace quorlen::reference
