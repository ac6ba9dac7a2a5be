// Pair replacement with pair counts kept up to date between passes.
//
// Every pass takes all pairs that share the highest non-overlapping count at the
// pass's start, makes rules of them in increasing (left, right) order, and skips a
// pair once a replacement earlier in the same pass has destroyed one of its
// occurrences. Instead of sorting every position again for every pass, the pairs
// that occur at least twice keep their occurrence lists and counts between passes;
// a pass costs what it changes. Once no pair occurs twice, the passes stop: the
// sequence left is the root rule's body.
//
// The pairs of two input bytes cover every position at the start; their lists
// would take as much memory as the sequence. So only their counts are kept from the
// start, and their lists are built by a walk over the sequence when a pass first
// needs them, a band of the most frequent ones at a time. A byte pair never gains
// an occurrence, so the walk finds exactly the occurrences a list kept from the
// start would still hold.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <span>
#include <utility>
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
  // place and ends as the sequence in which no pair occurs twice, at its front.
  // `bandEntries` bounds the byte-pair list entries one walk builds (beyond those the
  // pass at hand needs); 0 chooses a share of the input. `memoryBudget` is the bytes
  // per symbol that the lists, the records and their index are held to where the
  // byte-pair lists allow it; 0 chooses the default. `fineGrowthFrom` is the index
  // size in slots from which it grows by a quarter, not double; 0 chooses the default.
  // A compaction checks a list's entries only once 1 in `staleToCheck` of them is
  // stale; 0 chooses the default.
  // `captureShare` bounds the replacements of one pass whose neighbours are kept
  // for the counting of new pairs, as a share of the input; 0 chooses the default,
  // below 0 keeps none. From `hugeFrom` symbols of input on, the lists, the records and
  // their index sit in address ranges reserved in huge pages; 0 chooses the defaults.
  PairReplacer(std::int32_t* sequence, std::int32_t length, std::int32_t firstRuleSymbol, PairRuleTables rules,
               std::int64_t bandEntries = 0, double memoryBudget = 0, std::size_t fineGrowthFrom = 0,
               std::int32_t staleToCheck = 0, double captureShare = 0, std::size_t hugeFrom = 0);

  // Runs every pass, writing the rules as they are made; returns their number.
  std::int32_t run();
  // The symbols left at the front of the sequence once run() is done, EndSentinel last.
  std::int32_t remainingLength() const { return remainingLength_; }

 private:
  struct PairRecord {
    std::int32_t left;
    std::int32_t right;
    std::int32_t count;   // non-overlapping occurrences
    std::uint32_t offset;  // occurrence positions, ascending, in `arena_`; kNoList while not built
    std::int32_t length;  // entries there, stale ones included
    // Occurrences destroyed since the list was last compacted (or built), and in the
    // top bit whether the current pass has touched the pair.
    std::uint32_t staleAndTouched;
    std::int32_t stale() const { return static_cast<std::int32_t>(staleAndTouched & ~kTouchedBit); }
    bool touched() const { return (staleAndTouched & kTouchedBit) != 0; }
  };
  static constexpr std::uint32_t kTouchedBit = std::uint32_t{1} << 31;
  static constexpr std::uint32_t kNoList = ~std::uint32_t{0};
  struct MadeRule {
    std::int32_t symbol;
    std::int32_t offset;  // the positions that now hold `symbol`, in `madePositions_`
    std::int32_t count;
  };
  // The neighbours of one replacement, captured as it is made, while its line is in
  // cache, so that addNewPairs need not read the sequence there again. Its first walk
  // turns `left` and `right` into partner slots (-1 for none) for its second.
  struct Neighbourhood {
    std::int32_t leftPosition;  // -1 for none; kReread once a later replacement has changed it
    std::int32_t left;          // the symbol at leftPosition
    std::int32_t right;         // the symbol on the right; kNoPartner, or a new symbol, for none counted
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
  void buildByteLists(std::int32_t passCount);
  void makeRoom(std::size_t entries, bool mayDropByteLists = true);
  std::size_t arenaBudget() const;
  std::size_t arenaWithRoom(std::size_t entries, double share) const;
  std::int64_t dropByteLists(std::int64_t excess);
  bool runPass();
  void makeRule(std::int32_t id, std::int32_t passCount);
  // A place in the stream of entries of the pass's lists, one list after another.
  struct PassCursor {
    std::size_t list = 0;  // the next list to enter, in passIds_
    std::size_t entry = 0;
    std::size_t end = 0;
  };
  void prefetchList(std::span<const std::int32_t> ids, std::size_t j) const;
  std::int32_t advance(PassCursor& cursor, std::span<const std::int32_t> ids) const;
  void lookAhead(std::span<const std::int32_t> ids, bool slotsToo);
  void prefetchNeighbourSlots(std::int32_t p) const;
  void prefetchAround(std::int32_t p) const;
  void replaceAt(std::int32_t p, std::int32_t left, std::int32_t right, std::int32_t symbol);
  void destroyOccurrence(std::int32_t left, std::int32_t right, std::int32_t runEnd, bool runGoesLeft);
  std::size_t captureLimit() const;
  void markChangedNeighbourhoods();
  Neighbourhood neighbourhoodAt(std::int32_t p) const;
  Neighbourhood neighbourhoodBetween(std::int32_t before, std::int32_t after) const;
  std::int32_t partnerOf(std::int32_t other, bool onRight);
  void addNewPairs(const MadeRule& made);
  void collectGarbage(bool carryStale = true);
  void compactWithPackedSequence();
  template <typename CompactList>
  void compactLists(CompactList compactList);
  void file(std::int32_t id, std::int32_t count);
  bool fileLowCounts();
  void sweepBuckets();
  static void returnFreedHeap();
  bool packingDue() const;
  bool overBudget() const;
  bool packable() const;
  void releaseGarbage();
  void finishWithSinglePairs();

  std::int32_t createRecord(std::int32_t left, std::int32_t right, std::int32_t count, std::int32_t entries,
                            bool buildList);
  void releaseRecord(std::int32_t id);
  std::int32_t find(std::int32_t left, std::int32_t right) const;
  std::int32_t findUnchecked(std::int32_t left, std::int32_t right) const;
  void insertKey(std::int32_t id);
  void eraseKey(std::int32_t id);
  void growTable();
  std::size_t home(std::uint32_t hash) const;
  std::size_t nextSlot(std::size_t i) const;

  std::int32_t* seq_;
  std::int32_t length_;  // positions, gaps included; smaller once the sequence is packed
  std::int32_t inputLength_;  // the input's symbols: what the memory budget is set against
  std::int32_t liveSymbols_;  // positions not in a gap
  int packs_ = 0;  // times the sequence has been packed
  std::int32_t firstRuleSymbol_;
  std::int32_t nextSymbol_;
  std::int32_t passFirstSymbol_ = 0;
  std::uint32_t pass_ = 0;
  void addRule(std::int32_t left, std::int32_t right, std::int32_t uses);

  PairRuleTables rules_;
  std::int32_t ruleCount_ = 0;
  std::int32_t remainingLength_ = 0;

  RemapArray<PairRecord> records_;
  std::int32_t freeRecord_ = -1;  // the last released record, -1 for none
  // 8 bytes: the pair's 32-bit hash, so that a probe past other pairs reads no
  // record, and the record's id plus one (0 for an empty slot: fresh pages are empty).
  struct TableSlot {
    std::uint32_t hash;
    std::int32_t idPlusOne;
  };
  RemapArray<TableSlot> table_;  // open addressing by (left, right), linear probing
  bool hugeTable_ = false;  // each new table_ in huge pages
  std::int32_t liveRecords_ = 0;
  RemapArray<std::int32_t> arena_;
  std::int64_t liveEntries_ = 0;  // arena slots still in use: headers and occurrences
  std::size_t heldBytes_ = 0;  // the most the arena, records and index have held together
  // count -> record ids, possibly stale: a record is added again whenever its count
  // changes, and its old entries are dropped when the stale ones grow too many. Low
  // counts are held back: see fileLowCounts.
  std::map<std::int32_t, std::deque<std::int32_t>> buckets_;
  // The buckets of recent counts, by count modulo its size, so that filing a record
  // rarely walks the map; an entry goes when its bucket leaves the map.
  struct CachedBucket {
    std::int32_t count = 0;  // never filed: an empty entry
    std::deque<std::int32_t>* ids = nullptr;
  };
  std::vector<CachedBucket> bucketCache_;
  void forgetBucket(std::int32_t count);
  std::int64_t bucketEntries_ = 0;
  std::int32_t filedFrom_;  // the lowest count filed; 2 once every count is
  std::int64_t keptBySweep_ = 0;  // the entries the last sweep kept
  std::vector<std::int32_t> passIds_;
  PassCursor seqAhead_;    // kPrefetchDistance entries ahead of the rule being made
  PassCursor slotsAhead_;  // half as far ahead
  // Byte pairs whose lists are not built yet, and the walk's table from a byte pair to
  // the record whose list it fills.
  std::vector<std::int32_t> unbuiltLists_;
  // The byte pairs' records, ids 0 to byteRecordCount_ - 1 when made, and the lowest
  // count the last walk built a list for: lists of that count or above are never
  // dropped for memory.
  std::int32_t byteRecordCount_ = 0;
  std::int32_t lastBandCount_ = 0;
  std::vector<std::int32_t> byteRecord_;
  std::int64_t bandEntries_;
  double memoryBudget_;
  std::size_t fineGrowthFrom_;
  std::int32_t staleToCheck_;
  std::vector<std::int32_t> touched_;
  std::vector<MadeRule> made_;
  std::vector<std::int32_t> madePositions_;

  // The neighbourhoods of the pass's first replacements, at the index of their
  // positions in madePositions_, up to captureLimit_ of them; and the new symbols,
  // with their positions, whose neighbourhood a later replacement changed.
  RemapArray<Neighbourhood> captured_;
  std::size_t captureLimit_ = 0;
  std::size_t capturedHigh_ = 0;  // the most entries written since pages were last returned
  double captureShare_;
  std::vector<std::pair<std::int32_t, std::int32_t>> changed_;

  // Scratch of addNewPairs: the partners of one new symbol, and a small table of
  // 2^partnerBits_ slots from (side, partner symbol) to their index.
  std::vector<Partner> partners_;
  std::vector<std::int32_t> partnerTable_;
  int partnerBits_ = 4;
  // Scratch of addNewPairs for a new symbol of few occurrences beyond the capture:
  // per occurrence, its left neighbour's position and its two partner slots.
  RemapArray<Neighbourhood> neighbours_;
};

}  // namespace quorlen
