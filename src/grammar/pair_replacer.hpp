// Pair replacement with pair counts kept up to date between passes.
//
// Every pass takes all pairs that share the highest non-overlapping count at the
// pass's start, makes rules of them in increasing (left, right) order, and skips a
// pair once a replacement earlier in the same pass has destroyed one of its
// occurrences. Instead of sorting every position again for every pass, the pairs
// that occur at least twice keep their occurrence lists and counts between passes;
// a pass costs what it changes. Once no pair occurs twice, the remaining passes
// sort the (by then short) sequence directly.
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "encoder/offset_array.hpp"
#include "grammar/remap_array.hpp"

namespace quorlen {

// Where the pair rules go: rule r, the r-th made, has its left symbol, right symbol
// and use count at index r of the three tables.
struct PairRuleTables {
  OffsetArray<std::int32_t>& left;
  OffsetArray<std::int32_t>& right;
  OffsetArray<std::int32_t>& uses;
};

class PairReplacer {
 public:
  // `sequence` holds `length` symbols, the last one EndSentinel; it is rewritten in
  // place and ends as the single root symbol at position 0.
  PairReplacer(std::int32_t* sequence, std::int32_t length, std::int32_t firstRuleSymbol, PairRuleTables rules);

  // Runs every pass, writing the rules as they are made; returns their number.
  std::int32_t run();

 private:
  struct PairRecord {
    std::int32_t left;
    std::int32_t right;
    std::int32_t count;   // non-overlapping occurrences
    std::uint32_t offset;  // occurrence positions, ascending, in `arena_`
    std::int32_t length;  // entries there, stale ones included
    std::uint32_t touchedPass;
    std::int32_t staleEntries;  // occurrences destroyed since the list was last compacted
  };
  struct MadeRule {
    std::int32_t symbol;
    std::int32_t offset;  // the positions that now hold `symbol`, in `madePositions_`
    std::int32_t count;
  };
  struct Partner {
    std::int32_t symbol;
    bool onRight;
    std::int32_t occurrences;
    std::int32_t uses;
    std::int32_t id;
  };

  // Live neighbours in the gapped sequence; `length_` and -1 mean none.
  std::int32_t next(std::int32_t p) const;
  std::int32_t prev(std::int32_t p) const;
  void remove(std::int32_t q);
  bool holdsPair(std::int32_t p, std::int32_t left, std::int32_t right) const;

  void countInitialPairs();
  bool runPass();
  void makeRule(std::int32_t id, std::int32_t passCount);
  void prefetchAcrossLists(std::span<const std::int32_t> ids, std::size_t j) const;
  void prefetchNeighbourSlots(std::int32_t p) const;
  void prefetchNeighbourRecords(std::int32_t p) const;
  void replaceAt(std::int32_t p, std::int32_t left, std::int32_t right, std::int32_t symbol);
  void destroyOccurrence(std::int32_t left, std::int32_t right, std::int32_t runEnd, bool runGoesLeft);
  void addNewPairs(const MadeRule& made);
  void collectGarbage();
  void finishWithSinglePairs();

  std::int32_t createRecord(std::int32_t left, std::int32_t right, std::int32_t count, std::int32_t entries);
  void releaseRecord(std::int32_t id);
  std::int32_t find(std::int32_t left, std::int32_t right) const;
  void insertKey(std::int32_t id);
  void eraseKey(std::int32_t id);
  std::size_t slotOf(std::uint64_t key) const;

  std::int32_t* seq_;
  std::int32_t length_;
  std::int32_t nextSymbol_;
  std::int32_t passFirstSymbol_ = 0;
  std::uint32_t pass_ = 0;
  void addRule(std::int32_t left, std::int32_t right, std::int32_t uses);

  PairRuleTables rules_;
  std::int32_t ruleCount_ = 0;

  RemapArray<PairRecord> records_;
  std::vector<std::int32_t> freeRecords_;
  struct TableSlot {  // 12 bytes: the pair's key, kept here so that a miss reads no record
    std::uint32_t keyHigh;
    std::uint32_t keyLow;
    std::int32_t id;  // -1 for an empty slot
    std::uint64_t key() const { return (std::uint64_t{keyHigh} << 32) | keyLow; }
  };
  std::vector<TableSlot> table_;  // open addressing by (left, right)
  std::int32_t liveRecords_ = 0;
  RemapArray<std::int32_t> arena_;
  std::int64_t liveEntries_ = 0;  // arena slots still in use: headers and occurrences
  std::size_t heldBytes_ = 0;  // the most the arena, records and index have held together
  std::map<std::int32_t, std::vector<std::int32_t>> buckets_;  // count -> record ids, possibly stale
  std::vector<std::int32_t> touched_;
  std::vector<MadeRule> made_;
  std::vector<std::int32_t> madePositions_;

  // Scratch of addNewPairs: the partners of one new symbol, and a small table
  // from (side, partner symbol) to their index, sized to the new symbol's count.
  std::vector<Partner> partners_;
  std::vector<std::int32_t> partnerTable_;
};

}  // namespace quorlen
