#include "grammar/pair_replacer.hpp"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <utility>
#include <span>

#include "encoder/release_storage.hpp"
#include "grammar/prefetch.hpp"

namespace quorlen {

namespace {

// The sequence keeps its positions for the whole phase; an absorbed slot becomes a
// gap. A gap of one slot holds kSingleGap. A longer gap holds, in its first slot,
// the next live position and, in its last slot, the previous live position, both
// encoded as kGapLink - position. Live symbols are EndSentinel (-1) or above.
constexpr std::int32_t kSingleGap = -2;
constexpr std::int32_t kGapLink = -3;
constexpr std::int32_t kDeadRecord = -1;
constexpr std::int32_t kPrefetchDistance = 16;
// The look-ahead across the lists of a pass: stages this many rules apart, covering
// the first kEntriesAhead entries of each list. Making the rules of passes of count
// 16 or less took 0.43-0.57 s on h16 without it, 0.28-0.36 s with stages 1, 2 or 4
// apart (no clear order among them), and on h64 2.02 s without, 1.26 s with 2.
constexpr std::size_t kStageDistance = 2;
constexpr std::int32_t kEntriesAhead = 4;

// The index hashes a pair key with the 64-bit mixing step of SplitMix64 and then
// Fibonacci hashing (2^32 divided by the golden ratio). These are the usual constants
// of both methods, not tuned here: no alternative has been measured.
constexpr std::uint64_t kMixMultiplier = 0xBF58476D1CE4E5B9ull;
constexpr std::uint32_t kHashMultiplier = 0x9E3779B1u;
// The index of pairs is kept at most 70% full: at 80% it stays one doubling
// smaller on 16 MiB of random bytes (264 against 279 MB peak) but probes longer.
constexpr double kMaxLoad = 0.7;
// The occurrence arena starts at the byte pairs' lists plus 1/32 and, when full, is
// compacted once 1/8 of it is garbage; otherwise it grows by 1/32 of what it holds.
// After a compaction it keeps room for half its contents again, so that compactions
// do not follow each other at once. Against the earlier fixed 1.5 times the input
// with compaction at 1/4 (peak bytes per input byte, user seconds, one run on a
// loaded machine): so8 14.4 -> 9.6, 2.5 -> 2.4 s; h16 12.3 -> 8.9, 4.3 -> 4.9 s.
// Slack and growth of 1/16 gave so8 10.1; room of 1/4 after a compaction instead of
// 1/2 saved under 1% and cost 30% more time on h16.
constexpr double kArenaSlack = 1.0 / 32;
constexpr double kCompactShare = 1.0 / 8;
constexpr double kArenaGrowth = 1.0 / 32;
constexpr double kArenaRoom = 1.0 / 2;
// A compaction may leave room for up to all its contents again, where the memory
// that the arena, the records and the index held together at their most allows it,
// less kGrowthReserve times what the records and the index hold now: they grow
// (double) while the arena fills, and the peak comes when both are large at once.
// Room of 1 everywhere: h64 11 -> 6 compactions but so8 peak 9.6 -> 11.0 bytes per
// input byte; with the budget and a reserve of 1: so8 10.2; of 2: so8 9.6, h16
// 8.8 -> 8.9, h64 8.6 -> 8.8, and h64 7 compactions walking 402 M words, not 465 M.
constexpr double kArenaMaxRoom = 1.0;
constexpr double kGrowthReserve = 2.0;

std::uint64_t pairKey(std::int32_t left, std::int32_t right) {
  return (std::uint64_t{static_cast<std::uint32_t>(left)} << 32) | static_cast<std::uint32_t>(right + 1);
}

}  // namespace

PairReplacer::PairReplacer(std::int32_t* sequence, std::int32_t length, std::int32_t firstRuleSymbol,
                           PairRuleTables rules)
    : seq_(sequence), length_(length), nextSymbol_(firstRuleSymbol), rules_(rules) {}

std::int32_t PairReplacer::run() {
  countInitialPairs();
  while (runPass()) {
  }
  finishWithSinglePairs();
  return ruleCount_;
}

void PairReplacer::addRule(std::int32_t left, std::int32_t right, std::int32_t uses) {
  const std::int32_t r = ruleCount_++;
  rules_.left.at(r) = left;
  rules_.right.at(r) = right;
  rules_.uses.at(r) = uses;
}

std::int32_t PairReplacer::next(std::int32_t p) const {
  const std::int32_t n = p + 1;
  if (n >= length_) return length_;
  const std::int32_t v = seq_[n];
  if (v >= -1) return n;
  if (v == kSingleGap) return n + 1;
  return kGapLink - v;
}

std::int32_t PairReplacer::prev(std::int32_t p) const {
  if (p == 0) return -1;
  const std::int32_t v = seq_[p - 1];
  if (v >= -1) return p - 1;
  if (v == kSingleGap) return p - 2;
  return kGapLink - v;
}

// Turns live position q into a gap, merging it with the gaps on either side.
void PairReplacer::remove(std::int32_t q) {
  std::int32_t start = q;
  std::int32_t end = q;
  if (q > 0 && seq_[q - 1] < -1) start = seq_[q - 1] == kSingleGap ? q - 1 : kGapLink - seq_[q - 1] + 1;
  if (q + 1 < length_ && seq_[q + 1] < -1) end = seq_[q + 1] == kSingleGap ? q + 1 : kGapLink - seq_[q + 1] - 1;
  seq_[q] = kSingleGap;
  if (start != end) {
    seq_[start] = kGapLink - (end + 1);
    seq_[end] = kGapLink - (start - 1);
  }
}

bool PairReplacer::holdsPair(std::int32_t p, std::int32_t left, std::int32_t right) const {
  if (seq_[p] != left) return false;  // a left symbol is never negative, so p is live
  const std::int32_t n = next(p);
  return n < length_ && seq_[n] == right;
}

// ---------------------------------------------------------------------------
// Pair records and their index by (left, right).

std::size_t PairReplacer::slotOf(std::uint64_t key) const {
  const std::uint64_t mixed = (key ^ (key >> 29)) * kMixMultiplier;
  return static_cast<std::size_t>((mixed ^ (mixed >> 32)) * kHashMultiplier) & (table_.size() - 1);
}

std::int32_t PairReplacer::find(std::int32_t left, std::int32_t right) const {
  if (table_.empty()) return -1;
  const std::uint64_t key = pairKey(left, right);
  for (std::size_t i = slotOf(key);; i = (i + 1) & (table_.size() - 1)) {
    if (table_[i].id < 0) return -1;
    if (table_[i].key() == key) return table_[i].id;
  }
}

void PairReplacer::insertKey(std::int32_t id) {
  if (static_cast<double>(liveRecords_) > static_cast<double>(table_.size()) * kMaxLoad) {
    std::vector<TableSlot> old = std::exchange(table_, std::vector<TableSlot>(std::max<std::size_t>(1024, table_.size() * 2), TableSlot{0, 0, -1}));
    for (const TableSlot& slot : old) {
      if (slot.id < 0) continue;
      std::size_t i = slotOf(slot.key());
      while (table_[i].id >= 0) i = (i + 1) & (table_.size() - 1);
      table_[i] = slot;
    }
  }
  const PairRecord& record = records_[static_cast<std::size_t>(id)];
  const std::uint64_t key = pairKey(record.left, record.right);
  std::size_t i = slotOf(key);
  while (table_[i].id >= 0) i = (i + 1) & (table_.size() - 1);
  table_[i] = TableSlot{static_cast<std::uint32_t>(key >> 32), static_cast<std::uint32_t>(key), id};
}

// Linear probing without tombstones: later members of the probe chain move back.
void PairReplacer::eraseKey(std::int32_t id) {
  const std::size_t mask = table_.size() - 1;
  const PairRecord& record = records_[static_cast<std::size_t>(id)];
  std::size_t hole = slotOf(pairKey(record.left, record.right));
  while (table_[hole].id != id) hole = (hole + 1) & mask;
  for (std::size_t j = (hole + 1) & mask; table_[j].id >= 0; j = (j + 1) & mask) {
    const std::size_t home = slotOf(table_[j].key());
    // Move the entry back unless its home lies cyclically in (hole, j].
    const bool homeBetween = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
    if (!homeBetween) {
      table_[hole] = table_[j];
      hole = j;
    }
  }
  table_[hole].id = -1;
}

std::int32_t PairReplacer::createRecord(std::int32_t left, std::int32_t right, std::int32_t count,
                                        std::int32_t entries) {
  std::int32_t id;
  if (freeRecords_.empty()) {
    id = static_cast<std::int32_t>(records_.size());
    records_.resize(records_.size() + 1);
  } else {
    id = freeRecords_.back();
    freeRecords_.pop_back();
  }
  // The list's first slot names its record, for the compaction's walk.
  const std::size_t header = arena_.size();
  arena_.resize(header + 1 + static_cast<std::size_t>(entries));
  arena_[header] = id;
  records_[static_cast<std::size_t>(id)] =
      PairRecord{left, right, count, static_cast<std::uint32_t>(header + 1), 0, 0, 0};
  liveEntries_ += 1 + entries;
  ++liveRecords_;
  insertKey(id);
  buckets_[count].push_back(id);
  return id;
}

void PairReplacer::releaseRecord(std::int32_t id) {
  eraseKey(id);
  PairRecord& record = records_[static_cast<std::size_t>(id)];
  liveEntries_ -= 1 + record.length - record.staleEntries;
  // A released list's first slot holds its length, complemented, for the walk to skip it.
  arena_[record.offset - 1] = ~record.length;
  record.count = kDeadRecord;
  --liveRecords_;
  freeRecords_.push_back(id);
}

// ---------------------------------------------------------------------------
// The passes.

// The input holds only bytes and the final EndSentinel, so its pairs fit a table.
void PairReplacer::countInitialPairs() {
  constexpr std::size_t kRights = 257;  // EndSentinel, then 0..255
  const auto index = [](std::int32_t left, std::int32_t right) {
    return static_cast<std::size_t>(left) * kRights + static_cast<std::size_t>(right + 1);
  };
  std::vector<std::int32_t> occurrences(256 * kRights, 0);
  std::vector<std::int32_t> uses(256 * kRights, 0);
  for (std::int32_t p = 0; p + 1 < length_; ++p) ++occurrences[index(seq_[p], seq_[p + 1])];
  for (std::size_t i = 0; i < uses.size(); ++i) uses[i] = occurrences[i];
  for (std::int32_t a = 0; a < 256; ++a) uses[index(a, a)] = 0;
  // A pair of two equal symbols counts half of each maximal run, rounded down.
  for (std::int32_t p = 0; p + 1 < length_;) {
    std::int32_t end = p + 1;
    while (end < length_ && seq_[end] == seq_[p]) ++end;
    if (end - p >= 2) uses[index(seq_[p], seq_[p])] += (end - p) / 2;
    p = end;
  }

  std::vector<std::int32_t> recordOf(uses.size(), -1);
  std::size_t firstEntries = 0;
  for (std::size_t i = 0; i < uses.size(); ++i) {
    if (uses[i] >= 2) firstEntries += 1 + static_cast<std::size_t>(occurrences[i]);
  }
  arena_.reserve(firstEntries + static_cast<std::size_t>(static_cast<double>(firstEntries) * kArenaSlack) + 1024);
  for (std::int32_t left = 0; left < 256; ++left) {
    for (std::int32_t right = -1; right < 256; ++right) {
      const std::size_t i = index(left, right);
      if (uses[i] >= 2) recordOf[i] = createRecord(left, right, uses[i], occurrences[i]);
    }
  }
  for (std::int32_t p = 0; p + 1 < length_; ++p) {
    const std::int32_t id = recordOf[index(seq_[p], seq_[p + 1])];
    if (id < 0) continue;
    PairRecord& record = records_[static_cast<std::size_t>(id)];
    arena_[std::size_t{record.offset} + static_cast<std::size_t>(record.length++)] = p;
  }
}

bool PairReplacer::runPass() {
  while (!buckets_.empty()) {
    const auto top = std::prev(buckets_.end());
    const std::int32_t passCount = top->first;
    std::vector<std::int32_t> ids = std::move(top->second);
    buckets_.erase(top);
    std::erase_if(ids, [&](std::int32_t id) { return records_[static_cast<std::size_t>(id)].count != passCount; });
    if (ids.empty()) continue;
    std::sort(ids.begin(), ids.end(), [&](std::int32_t a, std::int32_t b) {
      const PairRecord& x = records_[static_cast<std::size_t>(a)];
      const PairRecord& y = records_[static_cast<std::size_t>(b)];
      return x.left != y.left ? x.left < y.left : x.right < y.right;
    });
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());

    ++pass_;
    passFirstSymbol_ = nextSymbol_;
    touched_.clear();
    made_.clear();
    madePositions_.clear();
    for (std::size_t j = 0; j < ids.size(); ++j) {
      prefetchAcrossLists(ids, j);
      const std::int32_t id = ids[j];
      if (records_[static_cast<std::size_t>(id)].touchedPass != pass_) makeRule(id, passCount);
    }
    for (const std::int32_t id : touched_) {
      const std::int32_t count = records_[static_cast<std::size_t>(id)].count;
      if (count >= 2) {
        buckets_[count].push_back(id);
      } else {
        releaseRecord(id);  // a pair left with one occurrence waits for the final passes
      }
    }
    for (const MadeRule& made : made_) addNewPairs(made);
    return true;
  }
  return false;
}

void PairReplacer::prefetchNeighbourSlots(std::int32_t p) const {
  if (seq_[p] < 0) return;  // a stale entry inside a gap
  const std::int32_t before = prev(p);
  if (before >= 0 && seq_[before] >= 0) prefetch(&table_[slotOf(pairKey(seq_[before], seq_[p]))]);
  const std::int32_t q = next(p);
  if (q >= length_) return;
  const std::int32_t after = next(q);
  if (after < length_) prefetch(&table_[slotOf(pairKey(seq_[q], seq_[after]))]);
}

// A pass of low count makes many rules from short lists, too short for the prefetch
// within one list (makeRule) to run ahead of its misses, and each miss depends on
// the one before: the record gives the list, the list the positions, the positions
// the neighbouring pairs. So the pass runs ahead across its lists in stages, one
// miss per stage, kStageDistance rules apart: the record of the rule 4 stages
// ahead, then its list, then the sequence at its first entries and its own index
// slot, then the index slots of their neighbouring pairs, then those pairs'
// records. A longer list prefetches its own further entries in makeRule.
void PairReplacer::prefetchAcrossLists(std::span<const std::int32_t> ids, std::size_t j) const {
  const auto ahead = [&](std::size_t distance) -> const PairRecord* {
    return j + distance < ids.size() ? &records_[static_cast<std::size_t>(ids[j + distance])] : nullptr;
  };
  const auto entries = [](const PairRecord& record) {
    return std::size_t{record.offset} + static_cast<std::size_t>(std::min(record.length, kEntriesAhead));
  };
  if (const PairRecord* record = ahead(4 * kStageDistance)) prefetch(record);
  if (const PairRecord* record = ahead(3 * kStageDistance)) prefetch(&arena_[record->offset]);
  if (const PairRecord* record = ahead(2 * kStageDistance)) {
    for (std::size_t k = record->offset; k < entries(*record); ++k) prefetch(&seq_[arena_[k]]);
    prefetch(&table_[slotOf(pairKey(record->left, record->right))]);
  }
  if (const PairRecord* record = ahead(kStageDistance)) {
    for (std::size_t k = record->offset; k < entries(*record); ++k) prefetchNeighbourSlots(arena_[k]);
  }
  if (const PairRecord* record = ahead(0)) {
    for (std::size_t k = record->offset; k < entries(*record); ++k) prefetchNeighbourRecords(arena_[k]);
  }
}

void PairReplacer::prefetchNeighbourRecords(std::int32_t p) const {
  if (seq_[p] < 0) return;
  const std::int32_t before = prev(p);
  if (before >= 0 && seq_[before] >= 0) {
    const std::int32_t id = find(seq_[before], seq_[p]);
    if (id >= 0) prefetch(&records_[static_cast<std::size_t>(id)]);
  }
  const std::int32_t q = next(p);
  if (q >= length_) return;
  const std::int32_t after = next(q);
  if (after < length_ && seq_[after] >= 0) {
    const std::int32_t id = find(seq_[q], seq_[after]);
    if (id >= 0) prefetch(&records_[static_cast<std::size_t>(id)]);
  }
}

void PairReplacer::makeRule(std::int32_t id, std::int32_t passCount) {
  const PairRecord record = records_[static_cast<std::size_t>(id)];
  const std::int32_t symbol = nextSymbol_++;
  addRule(record.left, record.right, passCount);
  // Gone from the index first, so that its own replacements touch nothing of it.
  releaseRecord(id);
  // A replacement destroys the occurrence that overlaps it, so for a pair of equal
  // symbols the overlapped one fails the check and the count stays non-overlapping.
  const auto first = static_cast<std::int32_t>(madePositions_.size());
  const std::size_t end = std::size_t{record.offset} + static_cast<std::size_t>(record.length);
  for (std::size_t k = record.offset; k < end; ++k) {
    // The list is in position order, so the sequence is visited front to back.
    if (k + kPrefetchDistance < end) prefetch(&seq_[arena_[k + kPrefetchDistance]]);
    // Nearer ahead, that part of the sequence is in cache: fetch the index slots of
    // the neighbouring pairs that the replacement there will look up.
    if (k + kPrefetchDistance / 2 < end) prefetchNeighbourSlots(arena_[k + kPrefetchDistance / 2]);
    const std::int32_t p = arena_[k];
    if (!holdsPair(p, record.left, record.right)) continue;
    madePositions_.push_back(p);
    replaceAt(p, record.left, record.right, symbol);
  }
  const auto count = static_cast<std::int32_t>(madePositions_.size()) - first;
  assert(count == passCount);
  made_.push_back(MadeRule{symbol, first, count});
}

void PairReplacer::replaceAt(std::int32_t p, std::int32_t left, std::int32_t right, std::int32_t symbol) {
  const std::int32_t q = next(p);
  const std::int32_t before = prev(p);
  const std::int32_t after = next(q);
  // Pairs holding a symbol made in this pass are counted when the pass ends.
  if (before >= 0 && seq_[before] < passFirstSymbol_) destroyOccurrence(seq_[before], left, p, true);
  if (after < length_ && seq_[after] < passFirstSymbol_) destroyOccurrence(right, seq_[after], q, false);
  seq_[p] = symbol;
  remove(q);
}

// The occurrence of (left, right) next to a replacement is gone. For two equal
// symbols it was the end of a run (at `runEnd`, the run extending left or right),
// and the run's count falls when its length was even.
void PairReplacer::destroyOccurrence(std::int32_t left, std::int32_t right, std::int32_t runEnd,
                                     bool runGoesLeft) {
  const std::int32_t id = find(left, right);
  if (id < 0) return;
  PairRecord& record = records_[static_cast<std::size_t>(id)];
  ++record.staleEntries;
  --liveEntries_;
  if (record.touchedPass != pass_) {
    record.touchedPass = pass_;
    touched_.push_back(id);
  }
  if (left != right) {
    --record.count;
    return;
  }
  std::int32_t runLength = 1;
  if (runGoesLeft) {
    for (std::int32_t p = prev(runEnd); p >= 0 && seq_[p] == left; p = prev(p)) ++runLength;
  } else {
    for (std::int32_t p = next(runEnd); p < length_ && seq_[p] == left; p = next(p)) ++runLength;
  }
  if (runLength % 2 == 0) --record.count;
}

// Counts the pairs that the new symbol forms with its neighbours and indexes those
// that occur at least twice. A pair of two new symbols belongs to its right one.
void PairReplacer::addNewPairs(const MadeRule& made) {
  const std::int32_t symbol = made.symbol;
  const auto positions = std::span(madePositions_).subspan(static_cast<std::size_t>(made.offset),
                                                           static_cast<std::size_t>(made.count));
  std::vector<Partner>& partners = partners_;
  partners.clear();
  // Partners are found through an open-addressing table kept at most half full. It
  // starts small and doubles as partners come: most new symbols have few partners,
  // even when they occur often.
  int tableBits = 4;
  partnerTable_.assign(std::size_t{1} << tableBits, -1);
  const auto home = [&](const Partner& partner) {
    const std::uint64_t key =
        (std::uint64_t{static_cast<std::uint32_t>(partner.symbol + 1)} << 1) | (partner.onRight ? 1u : 0u);
    // Fibonacci hashing, 2^64 divided by the golden ratio (not tuned).
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - tableBits));
  };
  const auto place = [&](std::int32_t slot) {
    const std::size_t mask = partnerTable_.size() - 1;
    std::size_t i = home(partners[static_cast<std::size_t>(slot)]);
    while (partnerTable_[i] >= 0) i = (i + 1) & mask;
    partnerTable_[i] = slot;
  };
  const auto partnerOf = [&](std::int32_t other, bool onRight) {
    const std::size_t mask = partnerTable_.size() - 1;
    for (std::size_t i = home(Partner{other, onRight, 0, 0, -1});; i = (i + 1) & mask) {
      const std::int32_t slot = partnerTable_[i];
      if (slot < 0) break;
      if (partners[static_cast<std::size_t>(slot)].symbol == other && partners[static_cast<std::size_t>(slot)].onRight == onRight) {
        return slot;
      }
    }
    const auto slot = static_cast<std::int32_t>(partners.size());
    partners.push_back(Partner{other, onRight, 0, 0, -1});
    if (partners.size() * 2 > partnerTable_.size()) {
      ++tableBits;
      partnerTable_.assign(std::size_t{1} << tableBits, -1);
      for (std::int32_t s = 0; s <= slot; ++s) place(s);
    } else {
      place(slot);
    }
    return slot;
  };

  std::int32_t run = 0;
  std::int32_t selfUses = 0;
  std::int32_t self = -1;
  for (std::size_t k = 0; k < positions.size(); ++k) {
    if (k + kPrefetchDistance < positions.size()) prefetch(&seq_[positions[k + kPrefetchDistance] - 1]);
    const std::int32_t p = positions[k];
    const std::int32_t before = prev(p);
    if (before >= 0) {
      const std::int32_t leftSlot = partnerOf(seq_[before], false);
      Partner& partner = partners[static_cast<std::size_t>(leftSlot)];
      ++partner.occurrences;
      if (seq_[before] == symbol) {
        self = leftSlot;
        ++run;
      } else {
        ++partner.uses;
      }
    }
    if (before < 0 || seq_[before] != symbol) {
      selfUses += run / 2;
      run = 1;
    }
    const std::int32_t after = next(p);
    if (after < length_ && seq_[after] < passFirstSymbol_) {
      const std::int32_t rightSlot = partnerOf(seq_[after], true);
      ++partners[static_cast<std::size_t>(rightSlot)].occurrences;
      ++partners[static_cast<std::size_t>(rightSlot)].uses;
    }
  }
  selfUses += run / 2;
  if (self >= 0) partners[static_cast<std::size_t>(self)].uses = selfUses;

  std::int64_t entries = 0;
  for (const Partner& partner : partners) {
    if (partner.uses >= 2) entries += 1 + partner.occurrences;
  }
  if (entries == 0) return;
  // Only between rules are all lists complete, so only here may the arena be
  // compacted; it is, when garbage fills a share of it. Then its capacity is set to
  // what it holds plus some room: a compaction returns the freed pages at once.
  if (arena_.size() + static_cast<std::size_t>(entries) > arena_.capacity()) {
    const std::size_t capacity = arena_.capacity();
    const std::size_t others = records_.capacity() * sizeof(PairRecord) + table_.size() * sizeof(TableSlot);
    heldBytes_ = std::max(heldBytes_, capacity * sizeof(std::int32_t) + others);
    const std::int64_t garbage = static_cast<std::int64_t>(arena_.size()) - liveEntries_;
    const bool compact = static_cast<double>(garbage) > static_cast<double>(capacity) * kCompactShare;
    if (compact) collectGarbage();
    const auto room = [&](double share) {
      return arena_.size() + static_cast<std::size_t>(entries) +
             static_cast<std::size_t>(static_cast<double>(arena_.size()) * share) + 1024;
    };
    std::size_t target = std::min(room(kArenaRoom), capacity);
    if (compact) {
      const double spare = (static_cast<double>(heldBytes_) - (1 + kGrowthReserve) * static_cast<double>(others)) /
                           sizeof(std::int32_t);
      if (spare > 0) target = std::max(target, std::min(room(kArenaMaxRoom), static_cast<std::size_t>(spare)));
    }
    arena_.setCapacity(std::max(room(kArenaGrowth), target));
  }
  for (Partner& partner : partners) {
    if (partner.uses < 2) continue;
    partner.id = partner.onRight ? createRecord(symbol, partner.symbol, partner.uses, partner.occurrences)
                                 : createRecord(partner.symbol, symbol, partner.uses, partner.occurrences);
  }
  const auto append = [&](std::int32_t slot, std::int32_t p) {
    if (slot < 0 || partners[static_cast<std::size_t>(slot)].id < 0) return;
    PairRecord& record = records_[static_cast<std::size_t>(partners[static_cast<std::size_t>(slot)].id)];
    arena_[std::size_t{record.offset} + static_cast<std::size_t>(record.length++)] = p;
  };
  // The neighbours are looked up again rather than remembered from the first walk:
  // two slots per occurrence would cost more memory than the rest of the pass.
  // Positions of the left pairs come from prev(), which stays ascending with k.
  for (std::size_t k = 0; k < positions.size(); ++k) {
    if (k + kPrefetchDistance < positions.size()) prefetch(&seq_[positions[k + kPrefetchDistance] - 1]);
    const std::int32_t p = positions[k];
    const std::int32_t before = prev(p);
    if (before >= 0) append(partnerOf(seq_[before], false), before);
    const std::int32_t after = next(p);
    if (after < length_ && seq_[after] < passFirstSymbol_) append(partnerOf(seq_[after], true), p);
  }
}

// Compacts the occurrence lists in place, dropping the lists of released records
// and the occurrences that replacements have destroyed. Called only when the arena
// is full and a share of it is garbage: each compaction walks every list.
void PairReplacer::collectGarbage() {
  // The lists lie one after another, each behind its header slot: a record id for a
  // live list, the complemented length for a released one.
  std::size_t written = 0;
  std::int32_t* const arena = arena_.data();
  for (std::size_t read = 0; read < arena_.size();) {
    const std::int32_t header = arena[read];
    if (header < 0) {
      read += 1 + static_cast<std::size_t>(~header);
      continue;
    }
    PairRecord& record = records_[static_cast<std::size_t>(header)];
    read += 1 + static_cast<std::size_t>(record.length);
    arena[written++] = header;
    const std::size_t start = written;
    if (record.staleEntries == 0) {
      // Every entry is still an occurrence: the list moves as it is.
      std::copy(arena + record.offset, arena + record.offset + record.length, arena + start);
      record.offset = static_cast<std::uint32_t>(start);
      written += static_cast<std::size_t>(record.length);
      continue;
    }
    record.staleEntries = 0;
    const std::size_t end = std::size_t{record.offset} + static_cast<std::size_t>(record.length);
    for (std::size_t k = record.offset; k < end; ++k) {
      if (k + kPrefetchDistance < end) prefetch(&seq_[arena[k + kPrefetchDistance]]);
      const std::int32_t p = arena[k];
      if (holdsPair(p, record.left, record.right)) arena[written++] = p;
    }
    record.offset = static_cast<std::uint32_t>(start);
    record.length = static_cast<std::int32_t>(written - start);
  }
  arena_.resize(written);
  liveEntries_ = static_cast<std::int64_t>(written);
}

// No pair occurs twice any more, and none ever will again: a new symbol occurs once.
// Every pass now makes a rule of every untouched pair, so the sequence shrinks by a
// constant fraction per pass and sorting it whole each time stays cheap.
void PairReplacer::finishWithSinglePairs() {
  std::int32_t length = 0;
  for (std::int32_t p = 0; p < length_; p = next(p)) seq_[length++] = seq_[p];
  releaseStorage(records_);
  releaseStorage(freeRecords_);
  releaseStorage(table_);
  releaseStorage(arena_);
  releaseStorage(buckets_);
  releaseStorage(touched_);
  releaseStorage(made_);
  releaseStorage(madePositions_);
  releaseStorage(partners_);
  releaseStorage(partnerTable_);

  // Pair positions sorted by (left, right, position): four stable counting sorts on
  // 16-bit digits, the low and high halves of the right symbol and then of the left.
  // Digits keep the count table small whatever the number of symbols, and the two
  // position arrays shrink with the sequence, so the final passes of an input that
  // barely compresses (where the rules grow to half its length) add no memory.
  RemapArray<std::int32_t> slots;
  RemapArray<std::int32_t> sorted;
  std::vector<std::int32_t> counts(std::size_t{1} << 16);
  const auto countingSort = [&](std::int32_t offset, int shift) {
    const auto digit = [&](std::int32_t p) {
      return static_cast<std::size_t>((static_cast<std::uint32_t>(seq_[p + offset] + 1) >> shift) & 0xFFFFu);
    };
    std::fill(counts.begin(), counts.end(), 0);
    const std::size_t n = slots.size();
    for (std::size_t k = 0; k < n; ++k) ++counts[digit(slots[k])];
    if (counts[digit(slots[0])] == static_cast<std::int32_t>(n)) return;  // one digit: the order stands
    std::int32_t total = 0;
    for (std::int32_t& count : counts) total += std::exchange(count, total);
    for (std::size_t k = 0; k < n; ++k) sorted[static_cast<std::size_t>(counts[digit(slots[k])]++)] = slots[k];
    slots.swap(sorted);
  };
  while (length > 1) {
    const std::int32_t pairs = length - 1;
    for (RemapArray<std::int32_t>* buffer : {&slots, &sorted}) {
      buffer->resize(static_cast<std::size_t>(pairs));
      buffer->setCapacity(static_cast<std::size_t>(pairs));
    }
    for (std::int32_t p = 0; p < pairs; ++p) slots[static_cast<std::size_t>(p)] = p;
    countingSort(1, 0);
    countingSort(1, 16);
    countingSort(0, 0);
    countingSort(0, 16);
    const std::int32_t passFirstSymbol = nextSymbol_;
    const auto changed = [&](std::int32_t s) { return s == kSingleGap || s >= passFirstSymbol; };
    // Groups are fixed before the first replacement changes the sequence.
    RemapArray<std::int32_t>& startsGroup = sorted;
    for (std::size_t k = 0; k < slots.size(); ++k) {
      const std::int32_t a = slots[k];
      const std::int32_t b = k > 0 ? slots[k - 1] : -1;
      startsGroup[k] = b < 0 || seq_[a] != seq_[b] || seq_[a + 1] != seq_[b + 1];
    }
    for (std::size_t i = 0; i < slots.size();) {
      std::size_t j = i + 1;
      while (j < slots.size() && !startsGroup[j]) ++j;
      // Two equal slots can only be the overlapping pairs of three equal symbols.
      assert(j - i <= 2);
      bool touched = false;
      for (std::size_t k = i; k < j; ++k) {
        const std::int32_t p = slots[k];
        touched = touched || changed(seq_[p]) || changed(seq_[p + 1]);
      }
      if (!touched) {
        const std::int32_t p = slots[i];
        addRule(seq_[p], seq_[p + 1], 1);
        seq_[p] = nextSymbol_++;
        seq_[p + 1] = kSingleGap;
      }
      i = j;
    }
    std::int32_t kept = 0;
    for (std::int32_t p = 0; p < length; ++p) {
      if (seq_[p] != kSingleGap) seq_[kept++] = seq_[p];
    }
    length = kept;
  }
}

}  // namespace quorlen
