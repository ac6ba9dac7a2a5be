#include "grammar/pair_replacer.hpp"

#include <algorithm>
#include <cassert>
#include <iterator>
#include <span>

namespace quorlen {

namespace {

// The sequence keeps its positions for the whole phase; an absorbed slot becomes a
// gap. A gap of one slot holds kSingleGap. A longer gap holds, in its first slot,
// the next live position and, in its last slot, the previous live position, both
// encoded as kGapLink - position. Live symbols are EndSentinel (-1) or above.
constexpr std::int32_t kSingleGap = -2;
constexpr std::int32_t kGapLink = -3;
constexpr std::int32_t kDeadRecord = -1;

constexpr std::uint32_t kHashMultiplier = 0x9E3779B1u;

std::uint64_t pairKey(std::int32_t left, std::int32_t right) {
  return (std::uint64_t{static_cast<std::uint32_t>(left)} << 32) | static_cast<std::uint32_t>(right + 1);
}

}  // namespace

PairReplacer::PairReplacer(std::int32_t* sequence, std::int32_t length, std::int32_t firstRuleSymbol)
    : seq_(sequence), length_(length), nextSymbol_(firstRuleSymbol) {}

std::vector<PairRule> PairReplacer::run() {
  countInitialPairs();
  while (runPass()) {
  }
  finishWithSinglePairs();
  return std::move(rules_);
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

std::size_t PairReplacer::slotOf(std::int32_t left, std::int32_t right) const {
  const std::uint64_t key = pairKey(left, right);
  const std::uint64_t mixed = (key ^ (key >> 29)) * 0xBF58476D1CE4E5B9ull;
  return static_cast<std::size_t>((mixed ^ (mixed >> 32)) * kHashMultiplier) & (table_.size() - 1);
}

std::int32_t PairReplacer::find(std::int32_t left, std::int32_t right) const {
  if (table_.empty()) return -1;
  for (std::size_t i = slotOf(left, right);; i = (i + 1) & (table_.size() - 1)) {
    const std::int32_t id = table_[i];
    if (id < 0) return -1;
    if (records_[static_cast<std::size_t>(id)].left == left && records_[static_cast<std::size_t>(id)].right == right) {
      return id;
    }
  }
}

void PairReplacer::insertKey(std::int32_t id) {
  if (static_cast<std::size_t>(liveRecords_) * 2 > table_.size()) {
    table_.assign(std::max<std::size_t>(1024, table_.size() * 2), -1);
    for (std::size_t other = 0; other < records_.size(); ++other) {
      if (records_[other].count == kDeadRecord || static_cast<std::int32_t>(other) == id) continue;
      std::size_t i = slotOf(records_[other].left, records_[other].right);
      while (table_[i] >= 0) i = (i + 1) & (table_.size() - 1);
      table_[i] = static_cast<std::int32_t>(other);
    }
  }
  const PairRecord& record = records_[static_cast<std::size_t>(id)];
  std::size_t i = slotOf(record.left, record.right);
  while (table_[i] >= 0) i = (i + 1) & (table_.size() - 1);
  table_[i] = id;
}

// Linear probing without tombstones: later members of the probe chain move back.
void PairReplacer::eraseKey(std::int32_t id) {
  const std::size_t mask = table_.size() - 1;
  const PairRecord& record = records_[static_cast<std::size_t>(id)];
  std::size_t hole = slotOf(record.left, record.right);
  while (table_[hole] != id) hole = (hole + 1) & mask;
  for (std::size_t j = (hole + 1) & mask; table_[j] >= 0; j = (j + 1) & mask) {
    const PairRecord& other = records_[static_cast<std::size_t>(table_[j])];
    const std::size_t home = slotOf(other.left, other.right);
    // Move the entry back unless its home lies cyclically in (hole, j].
    const bool homeBetween = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
    if (!homeBetween) {
      table_[hole] = table_[j];
      hole = j;
    }
  }
  table_[hole] = -1;
}

std::int32_t PairReplacer::createRecord(std::int32_t left, std::int32_t right, std::int32_t count,
                                        std::int32_t entries) {
  std::int32_t id;
  if (freeRecords_.empty()) {
    id = static_cast<std::int32_t>(records_.size());
    records_.emplace_back();
  } else {
    id = freeRecords_.back();
    freeRecords_.pop_back();
  }
  records_[static_cast<std::size_t>(id)] =
      PairRecord{left, right, count, static_cast<std::int32_t>(arena_.size()), 0, 0};
  arena_.resize(arena_.size() + static_cast<std::size_t>(entries));
  liveEntries_ += entries;
  ++liveRecords_;
  insertKey(id);
  buckets_[count].push_back(id);
  return id;
}

void PairReplacer::releaseRecord(std::int32_t id) {
  eraseKey(id);
  PairRecord& record = records_[static_cast<std::size_t>(id)];
  liveEntries_ -= record.length;
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
  arena_.reserve(static_cast<std::size_t>(length_));
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
    arena_[static_cast<std::size_t>(record.offset + record.length++)] = p;
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
    for (const std::int32_t id : ids) {
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
    collectGarbage();
    return true;
  }
  return false;
}

void PairReplacer::makeRule(std::int32_t id, std::int32_t passCount) {
  const PairRecord record = records_[static_cast<std::size_t>(id)];
  const std::int32_t symbol = nextSymbol_++;
  rules_.push_back(PairRule{record.left, record.right, passCount});
  // Gone from the index first, so that its own replacements touch nothing of it.
  releaseRecord(id);
  // The positions now holding the new symbol overwrite the front of the list. A
  // replacement destroys the occurrence that overlaps it, so for a pair of equal
  // symbols the overlapped one fails the check and the count stays non-overlapping.
  std::int32_t written = record.offset;
  for (std::int32_t k = record.offset; k < record.offset + record.length; ++k) {
    const std::int32_t p = arena_[static_cast<std::size_t>(k)];
    if (!holdsPair(p, record.left, record.right)) continue;
    arena_[static_cast<std::size_t>(written++)] = p;
    replaceAt(p, record.left, record.right, symbol);
  }
  assert(written - record.offset == passCount);
  made_.push_back(MadeRule{symbol, record.offset, written - record.offset});
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
  const std::size_t needed = static_cast<std::size_t>(nextSymbol_) + 1;
  if (leftPartnerSlot_.size() < needed) {
    leftPartnerSlot_.resize(needed, -1);
    rightPartnerSlot_.resize(needed, -1);
  }
  struct Partner {
    std::int32_t symbol;
    bool onRight;
    std::int32_t occurrences;
    std::int32_t uses;
    std::int32_t id;
  };
  std::vector<Partner> partners;
  const auto partnerOf = [&](std::int32_t other, bool onRight) -> Partner& {
    std::int32_t& slot = (onRight ? rightPartnerSlot_ : leftPartnerSlot_)[static_cast<std::size_t>(other + 1)];
    if (slot < 0) {
      slot = static_cast<std::int32_t>(partners.size());
      partners.push_back(Partner{other, onRight, 0, 0, -1});
    }
    return partners[static_cast<std::size_t>(slot)];
  };

  std::int32_t run = 0;
  std::int32_t selfUses = 0;
  const auto positions = std::span(arena_).subspan(static_cast<std::size_t>(made.offset),
                                                   static_cast<std::size_t>(made.count));
  for (const std::int32_t p : positions) {
    const std::int32_t before = prev(p);
    if (before >= 0) {
      Partner& partner = partnerOf(seq_[before], false);
      ++partner.occurrences;
      if (seq_[before] != symbol) ++partner.uses;
    }
    if (before >= 0 && seq_[before] == symbol) {
      ++run;
    } else {
      selfUses += run / 2;
      run = 1;
    }
    const std::int32_t after = next(p);
    if (after < length_ && seq_[after] < passFirstSymbol_) {
      Partner& partner = partnerOf(seq_[after], true);
      ++partner.occurrences;
      ++partner.uses;
    }
  }
  selfUses += run / 2;
  if (const std::int32_t self = leftPartnerSlot_[static_cast<std::size_t>(symbol + 1)]; self >= 0) {
    partners[static_cast<std::size_t>(self)].uses = selfUses;
  }

  bool anyIndexed = false;
  for (Partner& partner : partners) {
    if (partner.uses < 2) continue;
    partner.id = partner.onRight ? createRecord(symbol, partner.symbol, partner.uses, partner.occurrences)
                                 : createRecord(partner.symbol, symbol, partner.uses, partner.occurrences);
    anyIndexed = true;
  }
  if (anyIndexed) {
    const auto append = [&](const Partner& partner, std::int32_t p) {
      if (partner.id < 0) return;
      PairRecord& record = records_[static_cast<std::size_t>(partner.id)];
      arena_[static_cast<std::size_t>(record.offset + record.length++)] = p;
    };
    for (std::int32_t k = 0; k < made.count; ++k) {
      const std::int32_t p = arena_[static_cast<std::size_t>(made.offset + k)];
      const std::int32_t before = prev(p);
      if (before >= 0) append(partners[static_cast<std::size_t>(leftPartnerSlot_[static_cast<std::size_t>(seq_[before] + 1)])], before);
      const std::int32_t after = next(p);
      if (after < length_ && seq_[after] < passFirstSymbol_) {
        append(partners[static_cast<std::size_t>(rightPartnerSlot_[static_cast<std::size_t>(seq_[after] + 1)])], p);
      }
    }
  }
  for (const Partner& partner : partners) {
    (partner.onRight ? rightPartnerSlot_ : leftPartnerSlot_)[static_cast<std::size_t>(partner.symbol + 1)] = -1;
  }
}

// Compacts the occurrence lists in place once most of the arena is dead space,
// dropping the occurrences that replacements have destroyed.
void PairReplacer::collectGarbage() {
  if (static_cast<std::int64_t>(arena_.size()) <= 2 * liveEntries_ + (1 << 16)) return;
  std::vector<std::int32_t> live;
  live.reserve(static_cast<std::size_t>(liveRecords_));
  for (std::size_t id = 0; id < records_.size(); ++id) {
    if (records_[id].count != kDeadRecord) live.push_back(static_cast<std::int32_t>(id));
  }
  std::sort(live.begin(), live.end(), [&](std::int32_t a, std::int32_t b) {
    return records_[static_cast<std::size_t>(a)].offset < records_[static_cast<std::size_t>(b)].offset;
  });
  std::int32_t written = 0;
  for (const std::int32_t id : live) {
    PairRecord& record = records_[static_cast<std::size_t>(id)];
    const std::int32_t start = written;
    for (std::int32_t k = record.offset; k < record.offset + record.length; ++k) {
      const std::int32_t p = arena_[static_cast<std::size_t>(k)];
      if (holdsPair(p, record.left, record.right)) arena_[static_cast<std::size_t>(written++)] = p;
    }
    record.offset = start;
    record.length = written - start;
  }
  arena_.resize(static_cast<std::size_t>(written));
  liveEntries_ = written;
}

// No pair occurs twice any more, and none ever will again: a new symbol occurs once.
// Every pass now makes a rule of every untouched pair, so the sequence shrinks by a
// constant fraction per pass and sorting it whole each time stays cheap.
void PairReplacer::finishWithSinglePairs() {
  std::int32_t length = 0;
  for (std::int32_t p = 0; p < length_; p = next(p)) seq_[length++] = seq_[p];
  records_ = {};
  freeRecords_ = {};
  table_ = {};
  arena_ = {};
  buckets_.clear();
  leftPartnerSlot_ = {};
  rightPartnerSlot_ = {};

  struct Slot {
    std::uint64_t key;
    std::int32_t position;
  };
  std::vector<Slot> slots;
  while (length > 1) {
    const std::int32_t pairs = length - 1;
    slots.resize(static_cast<std::size_t>(pairs));
    for (std::int32_t p = 0; p < pairs; ++p) slots[static_cast<std::size_t>(p)] = Slot{pairKey(seq_[p], seq_[p + 1]), p};
    std::sort(slots.begin(), slots.end(), [](const Slot& a, const Slot& b) {
      return a.key != b.key ? a.key < b.key : a.position < b.position;
    });
    const std::int32_t passFirstSymbol = nextSymbol_;
    const auto changed = [&](std::int32_t s) { return s == kSingleGap || s >= passFirstSymbol; };
    for (std::size_t i = 0; i < slots.size();) {
      std::size_t j = i + 1;
      while (j < slots.size() && slots[j].key == slots[i].key) ++j;
      // Two equal slots can only be the overlapping pairs of three equal symbols.
      assert(j - i <= 2);
      bool touched = false;
      for (std::size_t k = i; k < j; ++k) {
        const std::int32_t p = slots[k].position;
        touched = touched || changed(seq_[p]) || changed(seq_[p + 1]);
      }
      if (!touched) {
        const std::int32_t p = slots[i].position;
        rules_.push_back(PairRule{seq_[p], seq_[p + 1], 1});
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
