#include "grammar/pair_replacer.hpp"

#include <algorithm>
#include <bit>
#include <cassert>
#include <iterator>
#include <limits>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <utility>
#include <span>

#include "common/prefault.hpp"
#include "encoder/release_storage.hpp"
#include "grammar/live_rank.hpp"
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
// The pass look-ahead's entry cursors: the sequence this many entries ahead of the
// rule being made, the neighbours' index slots half as far. Paired CPU on h16 against
// these (medians, 5 to 7 pairs, machine shared): 8 entries ahead 1.008; a third
// stage, reading the slots a quarter as far ahead and prefetching the records they
// name, 1.014 (destroyOccurrence fell from 10.8% to 6.5% of the samples, the new
// stage took 3.5%; h64 1.066 and r16 1.119, 3 pairs each), with both lines of a
// record that straddles two 1.036; the rule's own index slot prefetched with its
// list 1.000. Without the slots' stage: h16 0.985 and 1.022 (5 and 7 pairs), h64
// 0.956 and 0.83 (3 pairs each, very noisy), but r16 1.085 (3 pairs, all above
// 1.05): random pairs need it.
// Without the sequence's prefetch: h16 1.28. The samples of makeRule and addNewPairs
// pile up just after their prefetches of the sequence, which do pay.
constexpr std::int32_t kPrefetchDistance = 16;
// The look-ahead across the lists of a pass fetches the record of the rule this many
// rules ahead and, kListsAhead * 3 / 4 ahead, the start of its list, so that the
// entry cursors (kPrefetchDistance entries ahead, at least 2 entries a list) find
// both in cache.
constexpr std::size_t kListsAhead = 16;
// The walk over the records a pass touched fetches the record this many ahead (not
// tuned; see kBucketCacheSize for what the prefetch saved).
constexpr std::size_t kTouchedAhead = 8;
// New symbols of at most this many occurrences keep their neighbours between the two
// walks of addNewPairs, in 12 bytes per occurrence: a scratch of 48 KiB. Paired CPU on
// h16 against looking every neighbour up again (median ratio, noisy machine): 2^12
// 0.996; 2^14 0.959 with a peak 0.2 MiB higher; 2^18 cut addNewPairs from 19% to 14%
// of the samples but raised the peak by 3 MB.
constexpr std::size_t kRememberedOccurrences = std::size_t{1} << 12;
// The replacements of one pass whose neighbourhoods are captured, 12 bytes each, as a
// share of the input's length (but at least kMinCapture: 48 KiB, not tuned); those
// beyond are looked up again in the sequence. Peaks in KiB against 110876 (h16) and
// 63488 (so8) without: 1/16 115744, 67296; 1/32 117096, 66516 (so8 over 8 bytes per
// input byte); 1/64 113944, 64980, r4 39724 against 39616, r16 144288 against
// 144324. At 1/64 the capture holds about 96% of h16's replacements and 88% of
// so8's. Paired CPU against reading the sequence (medians, machine shared): h16 0.910,
// 0.899, 0.946 (5 pairs each), h64 0.869, r16 1.002 (3 pairs each); peak h64 436496
// against 424232 KiB, r32 298392 against 298432. The pages stay resident between passes
// while the limit allows: returned after every pass they cost 0.2 s of system time
// on h16 (paired CPU 1.06).
constexpr double kCaptureShare = 1.0 / 64;
constexpr std::size_t kMinCapture = std::size_t{1} << 12;
// A captured neighbourhood to be read from the sequence again, and a right neighbour
// whose pair is not counted.
constexpr std::int32_t kReread = -2;
constexpr std::int32_t kNoPartner = std::numeric_limits<std::int32_t>::max();

// The index hashes a pair key with the two mixing steps of SplitMix64's finaliser and
// keeps the top 32 bits. These are the method's usual constants, not tuned here.
constexpr std::uint64_t kMixMultiplier = 0xBF58476D1CE4E5B9ull;
constexpr std::uint64_t kHashMultiplier = 0x94D049BB133111EBull;
// The index of pairs is kept at most 75% full and doubles when it passes that (but
// see kFineGrowthFrom). Grown by half at 75% instead, it held 18 against 34 MB on
// 16 MiB of random bytes, but probed so much longer that finding pairs took 1.25
// times the instructions on h16.
// Doubling at 70% instead: 16 MiB of random bytes (1.53 M pairs at most) needed
// 2^22 slots, not 2^21, and peaked at 212.1 against 196.1 MiB; h16 125.7 and so8
// 72.6 MiB either way; paired CPU of 75% against 70%: h16 0.99, r16 0.96 (medians).
constexpr double kMaxLoad = 0.75;
// From this many slots (32 MiB) on, the index grows by a quarter rather than
// doubling: at these sizes it is much of the peak, and it grows while the sequence,
// still unpacked, and the lists are at their largest. 32 MiB of random bytes peaked
// at 3.7 M records with the index just doubled to 8.4 M slots (64 MiB); grown by a
// quarter it holds 5.2 M (40 MiB). Peak RSS, doubling against this: 32 MiB of random
// bytes 354796 -> 330076 KiB, 64 MiB 691140 -> 643176 KiB; paired CPU on 32 MiB 0.96.
// (A growth by half, to 6.3 M slots, would have saved 16 of the 19 MiB that 32 MiB
// needed to stay within 10 bytes per byte.) Text stays below it: h16 holds at most
// 2^19 slots, h64 and 16 MiB of random bytes 2^21.
constexpr std::size_t kFineGrowthFrom = std::size_t{1} << 22;
// The walk that builds byte-pair lists builds, besides the lists the pass needs, those
// of the next most frequent byte pairs up to this share of the input's length. Paired
// runs on h16 against the lists kept from the start (CPU ratio, peak MiB): 1/8 1.13,
// 113.9; 1/4 1.10, 121.2; 1/2 0.98, 125.0 (against 142.3).
constexpr double kBandShare = 1.0 / 2;
constexpr std::int64_t kMinBandEntries = 4096;  // not tuned: a small input's lists come in one walk
// The stale entries of the count buckets are dropped once all entries pass this
// multiple of the live records. Not tuned: on 16 MiB of random bytes at its most
// records (1.53 M) the buckets held 1.94 M entries, against 5.06 M never dropped.
constexpr double kBucketSlack = 1.5;
// Records of a count below this are filed in the buckets only once the passes reach
// it. On random bytes most records pair a new symbol with a byte, a few occurrences
// each, made early and waiting to the end. Peak RSS on 32 MiB of random bytes (KiB):
// all filed 375036; below 3 held 363588, below 6 354784, below 12 354632; h16 111.1
// MiB either way.
constexpr std::int32_t kFirstFiledCount = 6;
// Filing a record looks its bucket up in a cache of this many entries before the map.
// Share of h64's samples in file() (the map's walk) and in the walk over the touched
// records: 1.68% and 2.40% without the cache or the touched records' prefetch; 1024
// entries 1.17% and 1.93%; 8192 entries (128 KiB) 0.79% and 1.93%. Paired CPU on
// h64 with 1024 entries: 0.973 (3 pairs, all below 1).
constexpr std::size_t kBucketCacheSize = 8192;
// Inputs of at least kHugeArenaFrom symbols keep the occurrence lists in huge pages,
// of kHugeRecordsFrom the pair records and the index too; their reservations are
// address space only, past them an array moves into plain pages. Paired CPU against
// plain pages (medians, machine shared): lists alone h16 0.959 (5 pairs); all three
// h16 0.947 and 0.931 (5 pairs), h64 1.026 and 0.971 (3 pairs, very noisy); records
// and index alone h16 1.001, h64 0.935. Page faults, plain against all three: h16
// 34.0k -> 17.3k, h64 127k -> 60k. Peak RSS in KiB, plain -> lists alone -> all
// three: so8 65096 -> 65252 -> 68308 (huge pages round each array's end up to 2 MiB,
// and the index's old copy goes back 2 MiB at a time), r16 144464 -> 144676 ->
// 146936, r32 298524 -> 301100 (all three): records and index only from 32 Mi.
constexpr std::size_t kHugeArenaFrom = std::size_t{8} << 20;
constexpr std::size_t kHugeRecordsFrom = std::size_t{32} << 20;
// Reservations beyond the most an array holds on any input: lists in 32-bit offsets,
// records fewer than the input's symbols. Not tuned.
constexpr std::size_t kHugeReserveSlack = std::size_t{1} << 20;
// Before a pass of at least this many rules per input symbol, whose scratch is
// large, the memory that garbage holds goes back to the system. Not tuned: on 16 MiB
// of random bytes the passes of counts 2 and 3 qualify, and the process held 164.5
// MiB after the last pass without it (an arena of 18 MiB with no live list, 8.5 MiB
// free in the heap), 149 MiB with it.
constexpr double kLargePassShare = 1.0 / 256;
// The occurrence arena, when full, is compacted once 1/8 of it is garbage; otherwise
// it grows by 1/32 of what it holds.
// After a compaction it keeps room for half its contents again, so that compactions
// do not follow each other at once. Against the earlier fixed 1.5 times the input
// with compaction at 1/4 (peak bytes per input byte, user seconds, one run on a
// loaded machine): so8 14.4 -> 9.6, 2.5 -> 2.4 s; h16 12.3 -> 8.9, 4.3 -> 4.9 s.
// Slack and growth of 1/16 gave so8 10.1; room of 1/4 after a compaction instead of
// 1/2 saved under 1% and cost 30% more time on h16.
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
// More room bought with memory does not pay on text: room up to whatever keeps the
// sequence, lists, records and index within 7 bytes per input byte gave h16 7
// compactions instead of 18 (78 M slots walked instead of 134 M) and a peak of 124.4
// against 108.9 MiB, at 0.996 of the CPU time (8 pairs).
constexpr double kArenaMaxRoom = 1.0;
constexpr double kGrowthReserve = 2.0;
// The arena, the records and the index together are kept within this many bytes per
// input symbol where the byte-pair lists allow it: a walk builds no more lists than
// fit, the arena's room after a compaction stops there, and when the live lists pass
// it, the byte-pair lists of lowest count are dropped, to be built again by a later
// walk. On random bytes the records and the index grow late, to 51 MiB on 16 MiB,
// while the lists built early wait (a byte pair's count falls as its neighbours are
// replaced). Peak RSS on 16 MiB of random bytes (walks over the sequence,
// compactions): no budget 196.1 MiB (2, 4); 5.0 168.4 MiB (4, 10); 4.5 157.0 MiB
// (7, 14); 4.0 157.0 MiB (8, 14), before the sequence was packed sooner over the
// budget (kTightPackShare). With that (at 7/8), peak RSS in KiB on 4, 16 and 32 MiB
// of random bytes: 4.5 41196, 156536; 4.2 40000, 151524, 307008; 4.1 39576, 149928,
// 308912; 4.0 39200, 148336, 308932. 4 MiB must stay within 10 bytes per input byte
// (40960 KiB), of which the program's fixed costs take 0.85 and the sequence 4.
// h16, h64 and so8 never reach the budget: their walks and peaks are unchanged.
constexpr double kMemoryBudget = 4.1;
// A walk held back by the budget still builds lists for this share of the input, so
// that walks stay few. On 16 MiB of random bytes: 1/8 5 walks, 158.9 MiB; 1/16 7
// walks, 157.0 MiB; 1/32 8 walks, 157.0 MiB.
constexpr double kMinBandShare = 1.0 / 16;
// A compaction also squeezes the gaps out of the sequence once at most this share
// of its positions holds live symbols. Peaks in MiB (h16, so8, r16): 1/2 126.9,
// 70.1, 196.0; 3/4 108.7, 60.9, 193.5; 7/8 108.2, 60.6, 184.8, but paired CPU on h16
// 1.04 against 3/4 (5 pairs), for the more frequent packings.
constexpr double kPackShare = 3.0 / 4;
// Once packed, it is packed again when at most this share of the packed length is
// live. h64 at 1/2 against 3/4 (one run each): packing 1.27 against 2.97 s, user
// 15.4 against 16.8 s, 3 packings instead of 6; h16 packing 0.29 against 0.50 s;
// peaks unchanged on h16, h64 and r16, so8 64.6 against 61.0 MiB. 1/3 against 1/2 on
// h64: packing 1.06 against 1.57 s, user time within the noise.
constexpr double kRepackShare = 1.0 / 2;
// While the live lists pass the memory budget, a compaction packs the sequence once
// at most this share of it is live, the first time or again: on random bytes the
// records and lists of new symbols grow past the budget while a quarter of the
// sequence is gaps, and 32 and 64 MiB peaked there. Peak RSS in KiB on 4, 16 and 32
// MiB of random bytes (budget 4.1): packed only as on text 39608, 149928, 324456;
// 3/4 39660, 149936, 324456; 7/8 39576, 149928, 308912; 15/16 39660, 144284, 298324;
// 31/32 39604, 144268, 301440. Text never passes the budget: h16 packs as before.
constexpr double kTightPackShare = 15.0 / 16;
// The packing's prefetch of live bits runs this many entries ahead, that of the
// packed sequence half as far. Its time over the lists on h16 (3 runs each): 16
// 0.42-0.47 s, 32 0.34-0.47 s, 64 0.35-0.44 s.
constexpr std::size_t kPackAhead = 32;
// Records and list slots appended one by one are mapped this many ahead, a stretch
// at a time, rather than faulted in page by page (not tuned: 16 pages of list slots,
// under 100 KiB of records ahead of their use).
constexpr std::size_t kAppendMappedAhead = 4096;
// A compaction without packing prefetches the sequence at the entry this many arena
// slots ahead, across the ends of lists. Its time on h16 (3 runs each, timed inside
// the program): within a list only, 16 ahead, 0.42-0.51 s; across lists 16 ahead
// 0.42-0.51 s, 32 0.40-0.43 s, 64 0.37-0.44 s, 128 0.38-0.41 s; on h64 (2 runs each)
// 2.07-2.11 s within a list, 1.85-1.97 s at 64.
constexpr std::size_t kCompactAhead = 64;
// A compaction without packing checks a list's entries against the sequence only
// when at least 1 in kStaleToCheck of them is stale; the others move unchecked,
// their stale entries still counted as garbage (a packing checks every list with
// any). Most stale entries sit in lists that lost many: on h64, lists under 1 stale
// in 8 held 55% of the entries checked and 9% of the stale ones. One run each on a
// loaded machine, compaction time (h16; h64 twice) and h64 peak: every stale list
// checked 0.97 s; 4.43, 4.27 s; 424296-424552 KiB. 1 in 8: 0.80 s; 3.66, 2.95 s;
// 424592-424688 KiB. 1 in 16: 0.84 s; 4.28, 3.06 s. 1 in 32: 0.81 s; 4.03, 2.79 s.
// Paired CPU against every stale list checked (median): 1 in 8 h16 0.983 (5
// pairs), h64 0.981 (3 pairs); 1 in 16 h16 1.009 (5 pairs). Output identical.
// Carried stale entries are held to kCarriedShare of the garbage (see collectGarbage;
// not tuned): with it, 1 in 8 gave paired CPU h16 0.971 (5 pairs), h64 0.995 (3 pairs,
// loaded machine) and peaks (KiB, against every stale list checked) r16 156572
// (155452), r4 41620 (41484), r32 324740 (330076), h64 424440 (424292).
// Naming the stale entries without reading the sequence did not pay. One bit per
// position, set by destroyOccurrence for the lists there at the last compaction (then
// free of stale entries, unless carried), read instead of the sequence for
// those lists (about 80% of the entries checked on h16 and h64): destroyOccurrence
// grew by what the compactions saved, paired CPU h16 1.01 (5 pairs), h64 1.00, and
// with the bits written a batch at a time 1.11 (3 pairs each); peaks of text +2%.
// Stopping a list's check at its last stale entry, as the record counts them, saves
// 1-2% of the entries checked (h16 26.3 M in plain compactions, h64 106.8 M).
constexpr std::int32_t kStaleToCheck = 8;
// A compaction fetches the records of the lists this many lists ahead of its walk (not
// tuned). Against walking from record to record, paired CPU h16 0.979 (7 pairs), h64
// 0.954 (3 pairs); the map of headers, a bit per arena slot, raised peaks by 1.1% on
// 4 MiB of random bytes (9.83 bytes per input byte), 0.9% on 16 MiB, 0.8% on h64.
constexpr std::size_t kRecordsAhead = 16;
constexpr double kCarriedShare = 1.0 / 16;

std::uint32_t pairHash(std::int32_t left, std::int32_t right) {
  const std::uint64_t key =
      (std::uint64_t{static_cast<std::uint32_t>(left)} << 32) | static_cast<std::uint32_t>(right + 1);
  std::uint64_t mixed = (key ^ (key >> 30)) * kMixMultiplier;
  mixed = (mixed ^ (mixed >> 27)) * kHashMultiplier;
  return static_cast<std::uint32_t>(mixed >> 32);
}

// The byte pairs' table: every left byte, and every right byte or EndSentinel.
constexpr std::size_t kByteRights = 257;
std::size_t bytePairIndex(std::int32_t left, std::int32_t right) {
  return static_cast<std::size_t>(left) * kByteRights + static_cast<std::size_t>(right + 1);
}

}  // namespace

PairReplacer::PairReplacer(std::int32_t* sequence, std::int32_t length, std::int32_t firstRuleSymbol,
                           PairRuleTables rules, std::int64_t bandEntries, double memoryBudget,
                           std::size_t fineGrowthFrom, std::int32_t staleToCheck, double captureShare,
                           std::size_t hugeFrom)
    : seq_(sequence),
      length_(length),
      inputLength_(length),
      liveSymbols_(length),
      firstRuleSymbol_(firstRuleSymbol),
      nextSymbol_(firstRuleSymbol),
      rules_(rules),
      bucketCache_(kBucketCacheSize),
      bandEntries_(bandEntries > 0 ? bandEntries
                                   : std::max(kMinBandEntries, static_cast<std::int64_t>(length * kBandShare))),
      memoryBudget_(memoryBudget > 0 ? memoryBudget : kMemoryBudget),
      fineGrowthFrom_(fineGrowthFrom > 0 ? fineGrowthFrom : kFineGrowthFrom),
      staleToCheck_(staleToCheck > 0 ? staleToCheck : kStaleToCheck),
      captureShare_(captureShare > 0 ? captureShare : captureShare < 0 ? 0 : kCaptureShare) {
  filedFrom_ = kFirstFiledCount;
  // A refused reservation leaves its array in plain pages.
  const auto n = static_cast<std::size_t>(length);
  if (n >= (hugeFrom > 0 ? hugeFrom : kHugeArenaFrom)) {
    arena_.reserveHugeRange(std::min<std::size_t>(std::numeric_limits<std::uint32_t>::max(), 8 * n + kHugeReserveSlack));
  }
  if (n >= (hugeFrom > 0 ? hugeFrom : kHugeRecordsFrom)) {
    records_.reserveHugeRange(n + kHugeReserveSlack);
    hugeTable_ = true;
  }
}

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
  --liveSymbols_;
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

// The hash scaled to the table's size: its top bits, for a size that is a power of two.
std::size_t PairReplacer::home(std::uint32_t hash) const {
  return static_cast<std::size_t>((std::uint64_t{hash} * table_.size()) >> 32);
}

inline std::size_t PairReplacer::nextSlot(std::size_t i) const { return i + 1 == table_.size() ? 0 : i + 1; }

// Inlined into destroyOccurrence, its only caller: called, the program ran 2% more
// instructions on h1.
[[gnu::always_inline]] inline std::int32_t PairReplacer::find(std::int32_t left, std::int32_t right) const {
  if (table_.empty()) return -1;
  const std::uint32_t hash = pairHash(left, right);
  for (std::size_t i = home(hash);; i = nextSlot(i)) {
    const TableSlot slot = table_[i];
    if (slot.idPlusOne == 0) return -1;
    if (slot.hash != hash) continue;
    const PairRecord& record = records_[static_cast<std::size_t>(slot.idPlusOne - 1)];
    if (record.left == left && record.right == right) return slot.idPlusOne - 1;
  }
}

// The first record whose hash matches, without reading records: for prefetches.
std::int32_t PairReplacer::findUnchecked(std::int32_t left, std::int32_t right) const {
  const std::uint32_t hash = pairHash(left, right);
  for (std::size_t i = home(hash);; i = nextSlot(i)) {
    if (table_[i].idPlusOne == 0 || table_[i].hash == hash) return table_[i].idPlusOne - 1;
  }
}

void PairReplacer::insertKey(std::int32_t id) {
  if (static_cast<double>(liveRecords_) > static_cast<double>(table_.size()) * kMaxLoad) growTable();
  const PairRecord& record = records_[static_cast<std::size_t>(id)];
  const std::uint32_t hash = pairHash(record.left, record.right);
  std::size_t i = home(hash);
  while (table_[i].idPlusOne != 0) i = nextSlot(i);
  table_[i] = TableSlot{hash, id + 1};
}

// The larger table starts as fresh zero pages, all empty slots. The old one is read
// front to back and its pages are returned behind the walk; as a home grows with the
// hash at any size, the new table is written front to back too, so the two together
// never hold much more than the larger one.
void PairReplacer::growTable() {
  constexpr std::size_t kReleaseStride = 1 << 16;  // slots walked between two returns; not tuned
  constexpr std::size_t kHugePageSlots = kHugePage / sizeof(TableSlot);
  const std::size_t oldSize = table_.size();
  RemapArray<TableSlot> old;
  old.swap(table_);
  const std::size_t newSize =
      oldSize < fineGrowthFrom_ ? std::max<std::size_t>(1024, oldSize * 2) : oldSize + oldSize / 4;
  if (hugeTable_) table_.reserveHugeRange(newSize);
  table_.resize(newSize);
  // Where the new table's stretch for old slot k starts: as far in, in proportion.
  const auto scaled = [&](std::size_t k) {
    return std::min(newSize, static_cast<std::size_t>(static_cast<double>(k) * static_cast<double>(newSize) / static_cast<double>(oldSize)));
  };
  for (std::size_t k = 0; k < oldSize; ++k) {
    if (k % kReleaseStride == 0) {
      // From the start of the huge page the last stride began in: a huge page goes
      // back once wholly walked.
      if (k > 0) old.releasePages((k - kReleaseStride) / kHugePageSlots * kHugePageSlots, k);
      // The stretch of the new table that the next old slots move to is written all
      // over next: its pages are mapped in one call.
      prefaultForWriting(table_.data() + scaled(k), table_.data() + scaled(k + kReleaseStride));
    }
    const TableSlot slot = old[k];
    if (slot.idPlusOne == 0) continue;
    std::size_t i = home(slot.hash);
    while (table_[i].idPlusOne != 0) i = nextSlot(i);
    table_[i] = slot;
  }
}

// Linear probing without tombstones: later members of the probe chain move back.
void PairReplacer::eraseKey(std::int32_t id) {
  const auto step = [this](std::size_t i) { return nextSlot(i); };
  const PairRecord& record = records_[static_cast<std::size_t>(id)];
  std::size_t hole = home(pairHash(record.left, record.right));
  while (table_[hole].idPlusOne != id + 1) hole = step(hole);
  for (std::size_t j = step(hole); table_[j].idPlusOne != 0; j = step(j)) {
    const std::size_t home = this->home(table_[j].hash);
    // Move the entry back unless its home lies cyclically in (hole, j].
    const bool homeBetween = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
    if (!homeBetween) {
      table_[hole] = table_[j];
      hole = j;
    }
  }
  table_[hole] = TableSlot{0, 0};
}

std::int32_t PairReplacer::createRecord(std::int32_t left, std::int32_t right, std::int32_t count,
                                        std::int32_t entries, bool buildList) {
  std::int32_t id = freeRecord_;
  if (id < 0) {
    id = static_cast<std::int32_t>(records_.size());
    records_.resize(records_.size() + 1);
    // Records and lists are appended front to back: the pages of the next stretch
    // are mapped in one call as the appends enter it.
    const auto at = static_cast<std::size_t>(id);
    if (at % kAppendMappedAhead == 0) {
      prefaultForWriting(records_.data() + at, records_.data() + std::min(records_.capacity(), at + kAppendMappedAhead));
    }
  } else {
    freeRecord_ = records_[static_cast<std::size_t>(id)].length;
  }
  if (buildList) {
    // The list's first slot names its record, for the compaction's walk.
    const std::size_t header = arena_.size();
    arena_.resize(header + 1 + static_cast<std::size_t>(entries));
    const std::size_t last = arena_.size() - 1;
    if (header == 0 || (header - 1) / kAppendMappedAhead != last / kAppendMappedAhead) {
      const std::size_t next = (last / kAppendMappedAhead + 1) * kAppendMappedAhead;
      prefaultForWriting(arena_.data() + std::min(arena_.capacity(), next),
                         arena_.data() + std::min(arena_.capacity(), next + kAppendMappedAhead));
    }
    arena_[header] = id;
    records_[static_cast<std::size_t>(id)] = PairRecord{left, right, count, static_cast<std::uint32_t>(header + 1), 0, 0};
    liveEntries_ += 1 + entries;
  } else {
    // Until the list is built, its length is the occurrences it will hold before
    // those destroyed meanwhile.
    records_[static_cast<std::size_t>(id)] = PairRecord{left, right, count, kNoList, entries, 0};
  }
  ++liveRecords_;
  insertKey(id);
  file(id, count);
  return id;
}

void PairReplacer::releaseRecord(std::int32_t id) {
  eraseKey(id);
  PairRecord& record = records_[static_cast<std::size_t>(id)];
  if (record.offset != kNoList) {
    liveEntries_ -= 1 + record.length - record.stale();
    // A released list's first slot holds its length, complemented, for the walk to skip it.
    arena_[record.offset - 1] = ~record.length;
  }
  record.count = kDeadRecord;
  --liveRecords_;
  // Released records form a list through their length fields.
  record.length = freeRecord_;
  freeRecord_ = id;
}

// ---------------------------------------------------------------------------
// The passes.

// The input holds only bytes and the final EndSentinel, so its pairs fit a table.
// Their records start without lists.
void PairReplacer::countInitialPairs() {
  std::vector<std::int32_t> occurrences(256 * kByteRights, 0);
  std::vector<std::int32_t> uses(256 * kByteRights, 0);
  for (std::int32_t p = 0; p + 1 < length_; ++p) ++occurrences[bytePairIndex(seq_[p], seq_[p + 1])];
  for (std::size_t i = 0; i < uses.size(); ++i) uses[i] = occurrences[i];
  for (std::int32_t a = 0; a < 256; ++a) uses[bytePairIndex(a, a)] = 0;
  // A pair of two equal symbols counts half of each maximal run, rounded down.
  for (std::int32_t p = 0; p + 1 < length_;) {
    std::int32_t end = p + 1;
    while (end < length_ && seq_[end] == seq_[p]) ++end;
    if (end - p >= 2) uses[bytePairIndex(seq_[p], seq_[p])] += (end - p) / 2;
    p = end;
  }
  for (std::int32_t left = 0; left < 256; ++left) {
    for (std::int32_t right = -1; right < 256; ++right) {
      const std::size_t i = bytePairIndex(left, right);
      if (uses[i] >= 2) unbuiltLists_.push_back(createRecord(left, right, uses[i], occurrences[i], false));
    }
  }
  byteRecordCount_ = static_cast<std::int32_t>(records_.size());
  byteRecord_.assign(256 * kByteRights, -1);
}

// Builds the lists of the byte pairs in the pass of `passCount` that have none yet,
// and of the next most frequent ones up to bandEntries_ entries, in one walk over the
// sequence. Called between passes, when no record is marked touched.
void PairReplacer::buildByteLists(std::int32_t passCount) {
  const auto live = [&](const PairRecord& record) {
    return static_cast<std::int64_t>(record.length - record.stale());
  };
  std::erase_if(unbuiltLists_, [&](std::int32_t id) {
    const PairRecord& record = records_[static_cast<std::size_t>(id)];
    return record.count == kDeadRecord || record.offset != kNoList;  // released, or the id reused
  });
  std::sort(unbuiltLists_.begin(), unbuiltLists_.end(), [&](std::int32_t a, std::int32_t b) {
    return records_[static_cast<std::size_t>(a)].count > records_[static_cast<std::size_t>(b)].count;
  });
  // Beyond the lists the pass needs, the band fills what the memory budget leaves.
  const std::int64_t spare = static_cast<std::int64_t>(arenaBudget()) - liveEntries_;
  const std::int64_t bandLimit =
      std::min(bandEntries_, std::max(spare, static_cast<std::int64_t>(static_cast<double>(inputLength_) * kMinBandShare)));
  std::size_t chosen = 0;
  std::int64_t slots = 0;
  for (; chosen < unbuiltLists_.size(); ++chosen) {
    const PairRecord& record = records_[static_cast<std::size_t>(unbuiltLists_[chosen])];
    if (record.count < passCount && slots + live(record) > bandLimit) break;
    slots += 1 + live(record);
  }
  if (chosen > 0) lastBandCount_ = records_[static_cast<std::size_t>(unbuiltLists_[chosen - 1])].count;
  // No list is dropped here: the lists to drop and the band come from the same vector.
  makeRoom(static_cast<std::size_t>(slots), false);
  // The band's lists are filled exactly by the walk: their pages are mapped in one
  // call (the first walk on h16 took 0.20-0.22 s with its pages faulted one by one,
  // 0.11-0.14 s with them mapped first, the mapping included).
  prefaultForWriting(arena_.data() + arena_.size(), arena_.data() + arena_.size() + slots);
  const auto band = std::span(unbuiltLists_).first(chosen);
  for (const std::int32_t id : band) {
    PairRecord& record = records_[static_cast<std::size_t>(id)];
    const std::size_t header = arena_.size();
    arena_.resize(header + 1 + static_cast<std::size_t>(live(record)));
    arena_[header] = id;
    liveEntries_ += 1 + live(record);
    record.offset = static_cast<std::uint32_t>(header + 1);
    record.length = 0;
    record.staleAndTouched = 0;
    byteRecord_[bytePairIndex(record.left, record.right)] = id;
  }
  // Position 0 is never absorbed, and a symbol below firstRuleSymbol_ is a byte.
  for (std::int32_t p = 0, q = next(0); q < length_; p = q, q = next(q)) {
    const std::int32_t left = seq_[p];
    const std::int32_t right = seq_[q];
    if (left >= firstRuleSymbol_ || right >= firstRuleSymbol_) continue;
    const std::int32_t id = byteRecord_[bytePairIndex(left, right)];
    if (id < 0) continue;
    PairRecord& record = records_[static_cast<std::size_t>(id)];
    arena_[std::size_t{record.offset} + static_cast<std::size_t>(record.length++)] = p;
  }
  for (std::size_t k = 0; k < band.size(); ++k) {
    const PairRecord& record = records_[static_cast<std::size_t>(band[k])];
    byteRecord_[bytePairIndex(record.left, record.right)] = -1;
    // The lists were laid out one after another: each is now exactly full.
    [[maybe_unused]] const std::size_t end =
        k + 1 < band.size() ? records_[static_cast<std::size_t>(band[k + 1])].offset - 1 : arena_.size();
    assert(std::size_t{record.offset} + static_cast<std::size_t>(record.length) == end);
  }
  unbuiltLists_.erase(unbuiltLists_.begin(), unbuiltLists_.begin() + static_cast<std::ptrdiff_t>(chosen));
}

bool PairReplacer::runPass() {
  for (;;) {
    if (buckets_.empty() && (!fileLowCounts() || buckets_.empty())) return false;
    const auto top = std::prev(buckets_.end());
    const std::int32_t passCount = top->first;
    std::vector<std::int32_t>& ids = passIds_;
    ids.assign(top->second.begin(), top->second.end());
    bucketEntries_ -= static_cast<std::int64_t>(ids.size());
    forgetBucket(passCount);
    buckets_.erase(top);
    std::erase_if(ids, [&](std::int32_t id) { return records_[static_cast<std::size_t>(id)].count != passCount; });
    if (ids.empty()) continue;
    std::sort(ids.begin(), ids.end(), [&](std::int32_t a, std::int32_t b) {
      const PairRecord& x = records_[static_cast<std::size_t>(a)];
      const PairRecord& y = records_[static_cast<std::size_t>(b)];
      return x.left != y.left ? x.left < y.left : x.right < y.right;
    });
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    if (std::any_of(ids.begin(), ids.end(),
                    [&](std::int32_t id) { return records_[static_cast<std::size_t>(id)].offset == kNoList; })) {
      buildByteLists(passCount);
    }
    if (static_cast<double>(ids.size()) >= static_cast<double>(inputLength_) * kLargePassShare || packingDue()) {
      releaseGarbage();
    }

    ++pass_;
    passFirstSymbol_ = nextSymbol_;
    touched_.clear();
    made_.clear();
    madePositions_.clear();
    captured_.resize(0);
    changed_.clear();
    captureLimit_ = captureLimit();
    // The pages of larger captures before stay resident while the memory allows
    // them: written again at every pass they cost 0.2 s of system time on h16.
    if (capturedHigh_ > captureLimit_) {
      captured_.releasePages(std::max(captureLimit_, kMinCapture), capturedHigh_);
      capturedHigh_ = captureLimit_;
    }
    captured_.reserve(std::min(captureLimit_, ids.size() * static_cast<std::size_t>(passCount)));
    seqAhead_ = PassCursor{};
    slotsAhead_ = PassCursor{};
    for (std::size_t j = 0; j < kListsAhead; ++j) prefetchList(ids, j);
    for (std::int32_t k = 0; k < kPrefetchDistance; ++k) lookAhead(ids, k < kPrefetchDistance / 2);
    for (std::size_t j = 0; j < ids.size(); ++j) {
      prefetchList(ids, j + kListsAhead);
      const std::int32_t id = ids[j];
      const PairRecord& record = records_[static_cast<std::size_t>(id)];
      if (!record.touched()) {
        makeRule(id, passCount);
      } else {
        for (std::int32_t k = 0; k < record.length; ++k) lookAhead(ids, true);
      }
    }
    // The touched records lie anywhere, and many have left the cache since the pass
    // touched them: each is fetched kTouchedAhead records ahead.
    for (std::size_t k = 0; k < touched_.size(); ++k) {
      if (k + kTouchedAhead < touched_.size()) prefetch(&records_[static_cast<std::size_t>(touched_[k + kTouchedAhead])]);
      const std::int32_t id = touched_[k];
      PairRecord& record = records_[static_cast<std::size_t>(id)];
      record.staleAndTouched &= ~kTouchedBit;
      const std::int32_t count = record.count;
      if (count >= 2) {
        file(id, count);
      } else {
        releaseRecord(id);  // a pair left with one occurrence waits for the final passes
      }
    }
    capturedHigh_ = std::max(capturedHigh_, captured_.size());
    markChangedNeighbourhoods();
    for (const MadeRule& made : made_) addNewPairs(made);
    // While low counts are held back, the records filed are far fewer than the live
    // ones: the last sweep's count of them stands in.
    const std::int64_t filed = filedFrom_ > 2 ? keptBySweep_ : liveRecords_;
    if (static_cast<double>(bucketEntries_) > static_cast<double>(filed) * kBucketSlack + 4096) sweepBuckets();
    return true;
  }
}

[[gnu::noinline]] void PairReplacer::prefetchNeighbourSlots(std::int32_t p) const {
  if (seq_[p] < 0) return;  // a stale entry inside a gap
  const std::int32_t before = prev(p);
  if (before >= 0 && seq_[before] >= 0) prefetch(&table_[home(pairHash(seq_[before], seq_[p]))]);
  const std::int32_t q = next(p);
  if (q >= length_) return;
  const std::int32_t after = next(q);
  if (after < length_) prefetch(&table_[home(pairHash(seq_[q], seq_[after]))]);
}

// A pass of low count makes many rules from short lists, too short for a look-ahead
// within one list to run ahead of its misses, and each miss depends on the one
// before: the record gives the list, the list the positions, the positions the
// neighbouring pairs. So the look-ahead runs over all the pass's lists as one stream
// of entries: kListsAhead rules ahead the record, 3/4 as far the start of its list,
// kPrefetchDistance entries ahead the sequence at the entry, and half as far the
// index slots of the pairs next to it. Each entry made advances both entry cursors.
// (prefetchList and prefetchNeighbourSlots stay calls, so that the check of the
// program for prefetches finds them in every build.)
[[gnu::noinline]] void PairReplacer::prefetchList(std::span<const std::int32_t> ids, std::size_t j) const {
  if (j < ids.size()) prefetch(&records_[static_cast<std::size_t>(ids[j])]);
  const std::size_t listAhead = j - kListsAhead / 4;
  if (listAhead < ids.size()) prefetch(&arena_[records_[static_cast<std::size_t>(ids[listAhead])].offset]);
}

// The next entry of the pass under `cursor`, or -1 past the last list.
std::int32_t PairReplacer::advance(PassCursor& cursor, std::span<const std::int32_t> ids) const {
  while (cursor.entry == cursor.end) {
    if (cursor.list == ids.size()) return -1;
    const PairRecord& record = records_[static_cast<std::size_t>(ids[cursor.list++])];
    cursor.entry = record.offset;
    cursor.end = std::size_t{record.offset} + static_cast<std::size_t>(record.length);
  }
  return arena_[cursor.entry++];
}

// The pair at p and those on either side: p - 1 to p + 2 in a packed sequence,
// which may straddle two lines.
[[gnu::always_inline]] inline void PairReplacer::prefetchAround(std::int32_t p) const {
  prefetch(&seq_[p > 0 ? p - 1 : p]);
  prefetch(&seq_[p + 2 < length_ ? p + 2 : p]);
}

void PairReplacer::lookAhead(std::span<const std::int32_t> ids, bool slotsToo) {
  const std::int32_t p = advance(seqAhead_, ids);
  if (p >= 0) prefetchAround(p);
  if (!slotsToo) return;
  const std::int32_t q = advance(slotsAhead_, ids);
  if (q >= 0) prefetchNeighbourSlots(q);
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
    lookAhead(passIds_, true);
    const std::int32_t p = arena_[k];
    if (!holdsPair(p, record.left, record.right)) continue;
    madePositions_.push_back(p);
    replaceAt(p, record.left, record.right, symbol);
  }
  const auto count = static_cast<std::int32_t>(madePositions_.size()) - first;
  assert(count == passCount);
  made_.push_back(MadeRule{symbol, first, count});
}

// The neighbourhood of the new symbol at p is captured here. It changes later only
// through a replacement of this pass beside it: one at `after` gives the symbol at p
// a new right neighbour, one at the left of `before` absorbs `before` and gives it a
// new left one. Either replacement finds a new symbol beside it, and notes that
// symbol's position as changed; the symbol at p itself, and so this one's capture,
// are never absorbed or replaced in this pass, as no pair of the pass holds a new
// symbol.
void PairReplacer::replaceAt(std::int32_t p, std::int32_t left, std::int32_t right, std::int32_t symbol) {
  const std::int32_t q = next(p);
  const std::int32_t before = prev(p);
  const std::int32_t after = next(q);
  // Pairs holding a symbol made in this pass are counted when the pass ends.
  if (before >= 0) {
    if (seq_[before] < passFirstSymbol_) {
      destroyOccurrence(seq_[before], left, p, true);
    } else if (const std::size_t last = madePositions_.size() - 1; last > 0 && madePositions_[last - 1] == before) {
      // The replacement just before this one, as in a run of equal symbols: marked
      // at once, for the noted changes to stay few.
      if (last - 1 < captured_.size()) captured_[last - 1].leftPosition = kReread;
    } else {
      changed_.emplace_back(seq_[before], before);
    }
  }
  if (after < length_) {
    if (seq_[after] < passFirstSymbol_) {
      destroyOccurrence(right, seq_[after], q, false);
    } else {
      changed_.emplace_back(seq_[after], after);
    }
  }
  if (captured_.size() < captureLimit_) {
    captured_.resize(captured_.size() + 1);
    captured_[captured_.size() - 1] = neighbourhoodBetween(before, after);
  }
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
  if (!record.touched()) {
    record.staleAndTouched |= kTouchedBit;
    touched_.push_back(id);
  }
  ++record.staleAndTouched;
  if (record.offset != kNoList) --liveEntries_;
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

// The replacements of a pass that its memory allows keep their neighbourhoods: a
// share of the input, less where the arena's room already fills the memory budget,
// as on random bytes, whose passes of count 2 make most of their replacements; but
// always kMinCapture.
std::size_t PairReplacer::captureLimit() const {
  if (captureShare_ <= 0) return 0;
  const auto share = static_cast<std::size_t>(static_cast<double>(inputLength_) * captureShare_);
  const std::int64_t spare = static_cast<std::int64_t>(arenaBudget()) - static_cast<std::int64_t>(arena_.capacity());
  const auto room = static_cast<std::size_t>(std::max<std::int64_t>(0, spare)) * sizeof(std::int32_t) / sizeof(Neighbourhood);
  return std::max(kMinCapture, std::min(share, room));
}

// Marks the captured neighbourhoods that a later replacement changed, to be read
// from the sequence again. A new symbol's positions are ascending in madePositions_.
void PairReplacer::markChangedNeighbourhoods() {
  for (const auto& [symbol, position] : changed_) {
    const MadeRule& made = made_[static_cast<std::size_t>(symbol - passFirstSymbol_)];
    const auto first = madePositions_.begin() + made.offset;
    const auto at = std::lower_bound(first, first + made.count, position);
    assert(at != first + made.count && *at == position);
    const auto k = static_cast<std::size_t>(at - madePositions_.begin());
    if (k < captured_.size()) captured_[k].leftPosition = kReread;
  }
}

// The neighbourhood of the new symbol at p as the sequence holds it now.
PairReplacer::Neighbourhood PairReplacer::neighbourhoodAt(std::int32_t p) const {
  return neighbourhoodBetween(prev(p), next(p));
}

// The neighbourhood of a symbol whose live neighbours are at `before` and `after`.
PairReplacer::Neighbourhood PairReplacer::neighbourhoodBetween(std::int32_t before, std::int32_t after) const {
  return Neighbourhood{before, before >= 0 ? seq_[before] : 0, after < length_ ? seq_[after] : kNoPartner};
}

// The partner of the new symbol that `other` is on its right or left side: its slot
// in partners_, added at the first meeting. Partners are found through an
// open-addressing table kept at most half full. It starts small and doubles as
// partners come: most new symbols have few partners, even when they occur often. (A
// scan of the partners while there are at most 8, the table only beyond: paired CPU
// on h16 1.002, 7 pairs.)
std::int32_t PairReplacer::partnerOf(std::int32_t other, bool onRight) {
  const auto home = [&](std::int32_t symbol, bool right) {
    const std::uint64_t key = (std::uint64_t{static_cast<std::uint32_t>(symbol + 1)} << 1) | (right ? 1u : 0u);
    // Fibonacci hashing, 2^64 divided by the golden ratio (not tuned).
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - partnerBits_));
  };
  const std::size_t mask = partnerTable_.size() - 1;
  for (std::size_t i = home(other, onRight);; i = (i + 1) & mask) {
    const std::int32_t slot = partnerTable_[i];
    if (slot < 0) break;
    const Partner& partner = partners_[static_cast<std::size_t>(slot)];
    if (partner.symbol == other && partner.onRight == onRight) return slot;
  }
  const auto slot = static_cast<std::int32_t>(partners_.size());
  partners_.push_back(Partner{other, onRight, 0, 0, -1});
  const auto place = [&](std::int32_t s) {
    const Partner& partner = partners_[static_cast<std::size_t>(s)];
    std::size_t i = home(partner.symbol, partner.onRight);
    while (partnerTable_[i] >= 0) i = (i + 1) & (partnerTable_.size() - 1);
    partnerTable_[i] = s;
  };
  if (partners_.size() * 2 > partnerTable_.size()) {
    ++partnerBits_;
    partnerTable_.assign(std::size_t{1} << partnerBits_, -1);
    for (std::int32_t s = 0; s <= slot; ++s) place(s);
  } else {
    place(slot);
  }
  return slot;
}

// Counts the pairs that the new symbol forms with its neighbours and indexes those
// that occur at least twice. A pair of two new symbols belongs to its right one.
//
// The first walk counts the partners, the second fills their lists. Each walk needs
// every occurrence's neighbourhood: captured when the replacement was made, it is
// read from the sequence only where a later replacement changed it, and the first
// walk turns it into its partner slots for the second. A new symbol beyond the
// capture reads the sequence in the first walk and, if it has few occurrences, keeps
// its partner slots in a small scratch; a frequent one reads the sequence again.
void PairReplacer::addNewPairs(const MadeRule& made) {
  const std::int32_t symbol = made.symbol;
  const auto first = static_cast<std::size_t>(made.offset);
  const auto count = static_cast<std::size_t>(made.count);
  const auto positions = std::span(madePositions_).subspan(first, count);
  const bool captured = first + count <= captured_.size();
  const bool remember = !captured && count <= kRememberedOccurrences;
  if (remember) neighbours_.reserve(kRememberedOccurrences);
  neighbours_.resize(remember ? count : 0);
  Neighbourhood* const kept = captured ? &captured_[first] : remember ? neighbours_.data() : nullptr;
  partners_.clear();
  partnerBits_ = 4;
  partnerTable_.assign(std::size_t{1} << partnerBits_, -1);
  // The prefetch runs on into the positions of the rules made after this one in the
  // pass: most new symbols occur a few times only, too few for a look-ahead within
  // their own positions to hide a miss.
  const auto ahead = std::span(madePositions_).subspan(first);
  std::int32_t run = 0;
  std::int32_t selfUses = 0;
  std::int32_t self = -1;
  for (std::size_t k = 0; k < count; ++k) {
    Neighbourhood around;
    if (captured) {
      around = kept[k];
      if (around.leftPosition == kReread) around = neighbourhoodAt(positions[k]);
    } else {
      if (k + kPrefetchDistance < ahead.size()) prefetchAround(ahead[k + kPrefetchDistance]);
      around = neighbourhoodAt(positions[k]);
    }
    std::int32_t leftSlot = -1;
    if (around.leftPosition >= 0) {
      leftSlot = partnerOf(around.left, false);
      Partner& partner = partners_[static_cast<std::size_t>(leftSlot)];
      ++partner.occurrences;
      if (around.left == symbol) {
        self = leftSlot;
        ++run;
      } else {
        ++partner.uses;
      }
    }
    if (around.leftPosition < 0 || around.left != symbol) {
      selfUses += run / 2;
      run = 1;
    }
    std::int32_t rightSlot = -1;
    if (around.right < passFirstSymbol_) {
      rightSlot = partnerOf(around.right, true);
      ++partners_[static_cast<std::size_t>(rightSlot)].occurrences;
      ++partners_[static_cast<std::size_t>(rightSlot)].uses;
    }
    if (kept != nullptr) kept[k] = Neighbourhood{around.leftPosition, leftSlot, rightSlot};
  }
  selfUses += run / 2;
  if (self >= 0) partners_[static_cast<std::size_t>(self)].uses = selfUses;

  std::int64_t entries = 0;
  for (const Partner& partner : partners_) {
    if (partner.uses >= 2) entries += 1 + partner.occurrences;
  }
  if (entries == 0) return;
  // Only between rules are all lists complete, so only here may the arena be
  // compacted (and the sequence packed: the positions kept move with it).
  makeRoom(static_cast<std::size_t>(entries));
  for (Partner& partner : partners_) {
    if (partner.uses < 2) continue;
    partner.id = partner.onRight ? createRecord(symbol, partner.symbol, partner.uses, partner.occurrences, true)
                                 : createRecord(partner.symbol, symbol, partner.uses, partner.occurrences, true);
  }
  const auto append = [&](std::int32_t slot, std::int32_t p) {
    if (slot < 0 || partners_[static_cast<std::size_t>(slot)].id < 0) return;
    PairRecord& record = records_[static_cast<std::size_t>(partners_[static_cast<std::size_t>(slot)].id)];
    arena_[std::size_t{record.offset} + static_cast<std::size_t>(record.length++)] = p;
  };
  // Positions of the left pairs come from prev(), which stays ascending with k.
  if (kept != nullptr) {
    for (std::size_t k = 0; k < count; ++k) {
      append(kept[k].left, kept[k].leftPosition);
      append(kept[k].right, positions[k]);
    }
    return;
  }
  for (std::size_t k = 0; k < count; ++k) {
    if (k + kPrefetchDistance < count) prefetchAround(positions[k + kPrefetchDistance]);
    const Neighbourhood around = neighbourhoodAt(positions[k]);
    if (around.leftPosition >= 0) append(partnerOf(around.left, false), around.leftPosition);
    if (around.right < passFirstSymbol_) append(partnerOf(around.right, true), positions[k]);
  }
}

// Makes room in the arena for `entries` more slots. When it is full, it is compacted
// if garbage fills a share of it, and its capacity is set to what it holds plus some
// room, within the memory budget: a compaction returns the freed pages beyond it at
// once. (Returning the room's pages too left the peaks of h16 and so8 as they were
// and cost 7% more CPU time.) A full arena whose live lists pass the budget drops
// byte-pair lists first, when `mayDropByteLists`.
void PairReplacer::makeRoom(std::size_t entries, bool mayDropByteLists) {
  if (arena_.size() + entries <= arena_.capacity()) return;
  const std::size_t capacity = arena_.capacity();
  std::int64_t garbage = static_cast<std::int64_t>(arena_.size()) - liveEntries_;
  const std::size_t budget = arenaBudget();
  const std::size_t others = records_.capacity() * sizeof(PairRecord) + table_.capacity() * sizeof(TableSlot);
  heldBytes_ = std::max(heldBytes_, capacity * sizeof(std::int32_t) + others);
  if (mayDropByteLists) {
    const auto needed = static_cast<std::int64_t>(static_cast<double>(arena_.size()) * kArenaGrowth) +
                        liveEntries_ + static_cast<std::int64_t>(entries);
    if (needed > static_cast<std::int64_t>(budget)) garbage += dropByteLists(needed - static_cast<std::int64_t>(budget));
  }
  const bool compact = static_cast<double>(garbage) > static_cast<double>(capacity) * kCompactShare;
  if (compact) collectGarbage();
  const auto room = [&](double share) { return arenaWithRoom(entries, share); };
  std::size_t target = std::min(room(kArenaRoom), capacity);
  if (compact) {
    const double spare =
        (static_cast<double>(heldBytes_) - (1 + kGrowthReserve) * static_cast<double>(others)) / sizeof(std::int32_t);
    if (spare > 0) target = std::max(target, std::min(room(kArenaMaxRoom), static_cast<std::size_t>(spare)));
  }
  arena_.setCapacity(std::max(room(kArenaGrowth), std::min(target, budget)));
}

// The arena's slots in use, `entries` more, and room for `share` of what it holds.
std::size_t PairReplacer::arenaWithRoom(std::size_t entries, double share) const {
  return arena_.size() + entries + static_cast<std::size_t>(static_cast<double>(arena_.size()) * share) + 1024;
}

// The arena slots the memory budget leaves beside the records and the index.
std::size_t PairReplacer::arenaBudget() const {
  const double others = static_cast<double>(records_.size() * sizeof(PairRecord) + table_.size() * sizeof(TableSlot));
  const double budget = static_cast<double>(inputLength_) * memoryBudget_ - others;
  return budget > 0 ? static_cast<std::size_t>(budget / sizeof(std::int32_t)) : 0;
}

// Drops the byte-pair lists of lowest count until `excess` slots are freed, below
// the count of the last walk's band. A dropped list turns into garbage like a
// released one, and its record waits, without a list, for a later walk: a byte pair
// gains no occurrence, so that walk finds what the list would still hold. Called
// between rules, when no record is marked touched. Returns the slots freed.
std::int64_t PairReplacer::dropByteLists(std::int64_t excess) {
  // The byte pairs' records were made first; an id among them reused since holds a
  // new symbol.
  std::vector<std::int32_t> built;
  for (std::int32_t id = 0; id < byteRecordCount_; ++id) {
    const PairRecord& record = records_[static_cast<std::size_t>(id)];
    if (record.count != kDeadRecord && record.count < lastBandCount_ && record.offset != kNoList &&
        record.left < firstRuleSymbol_ && record.right < firstRuleSymbol_) {
      built.push_back(id);
    }
  }
  std::sort(built.begin(), built.end(), [&](std::int32_t a, std::int32_t b) {
    return records_[static_cast<std::size_t>(a)].count < records_[static_cast<std::size_t>(b)].count;
  });
  std::int64_t freed = 0;
  for (std::size_t k = 0; k < built.size() && freed < excess; ++k) {
    PairRecord& record = records_[static_cast<std::size_t>(built[k])];
    const std::int32_t live = record.length - record.stale();
    arena_[record.offset - 1] = ~record.length;  // skipped by the compaction, as a released list
    liveEntries_ -= 1 + live;
    freed += 1 + live;
    record.offset = kNoList;
    record.length = live;
    record.staleAndTouched = 0;
    unbuiltLists_.push_back(built[k]);
  }
  return freed;
}

// The buckets' blocks, freed as entries go, are scattered through the heap, where
// they would stay resident: on 16 MiB of random bytes 8.5 MiB of it by the last pass.
void PairReplacer::returnFreedHeap() {
#ifdef __GLIBC__
  malloc_trim(0);
#endif
}

// Whether enough of the sequence is gaps for a compaction to pack it, while the live
// lists pass what the memory budget leaves beside the records and the index. Within
// the budget, a packing waits for the next compaction: packing at once raised the
// peak of h64 from 425788 to 432212 KiB.
bool PairReplacer::packingDue() const { return overBudget() && packable(); }

bool PairReplacer::overBudget() const { return static_cast<std::int64_t>(arenaBudget()) < liveEntries_; }

// Whether few enough positions are live for a compaction to pack the sequence. While
// the live lists pass the budget, a smaller share of gaps will do.
bool PairReplacer::packable() const {
  const double share = overBudget() ? kTightPackShare : packs_ == 0 ? kPackShare : kRepackShare;
  return static_cast<double>(liveSymbols_) <= static_cast<double>(length_) * share;
}

// Returns the pages of an arena more garbage than lists, and the heap's free pages.
// As the lists die out towards the end, nothing else would compact the arena: it is
// no longer filled. A sequence due for packing is packed here too, at once: waiting
// for the arena to fill kept its gaps while the pair records grew (64 MiB of random
// bytes peaked with a quarter of its 256 MiB sequence gaps, at 746472 KiB, against
// 721596 KiB packed here, both with every count filed in the buckets).
void PairReplacer::releaseGarbage() {
  if (static_cast<std::int64_t>(arena_.size()) > 2 * liveEntries_ || packingDue()) {
    collectGarbage(false);
    // Room within the budget, as after any compaction: an arena given room beyond it
    // is compacted only once it fills, its garbage resident meanwhile (on 64 MiB of
    // random bytes 54 MB of it when the sequence was packed a second time: peak
    // 670548 KiB, against 613328 within the budget; 32 MiB 313192 against 308912).
    arena_.setCapacity(std::max(arenaWithRoom(0, kArenaGrowth), std::min(arenaWithRoom(0, kArenaRoom), arenaBudget())));
  }
  returnFreedHeap();
}

// Files record `id` in the bucket of `count`, unless that count is held back.
void PairReplacer::file(std::int32_t id, std::int32_t count) {
  if (count < filedFrom_) return;
  CachedBucket& cached = bucketCache_[static_cast<std::size_t>(count) % bucketCache_.size()];
  if (cached.count != count) cached = CachedBucket{count, &buckets_[count]};
  cached.ids->push_back(id);
  ++bucketEntries_;
}

void PairReplacer::forgetBucket(std::int32_t count) {
  CachedBucket& cached = bucketCache_[static_cast<std::size_t>(count) % bucketCache_.size()];
  if (cached.count == count) cached = CachedBucket{};
}

// Once the passes have reached the counts held back, files every live record; the
// order of a bucket's entries does not matter, as a pass sorts its pairs. Returns
// false when nothing was held back.
bool PairReplacer::fileLowCounts() {
  if (filedFrom_ <= 2) return false;
  filedFrom_ = 2;
  for (std::size_t id = 0; id < records_.size(); ++id) {
    const std::int32_t count = records_[id].count;
    if (count >= 2) file(static_cast<std::int32_t>(id), count);  // a released record's count is kDeadRecord
  }
  return true;
}

// Drops the bucket entries of records whose count has changed since, and repeated
// entries, marking each record kept with its touched bit for the while.
void PairReplacer::sweepBuckets() {
  bucketEntries_ = 0;
  for (auto it = buckets_.begin(); it != buckets_.end();) {
    std::deque<std::int32_t>& ids = it->second;
    const std::int32_t count = it->first;
    std::erase_if(ids, [&](std::int32_t id) {
      PairRecord& record = records_[static_cast<std::size_t>(id)];
      if (record.count != count || record.touched()) return true;
      record.staleAndTouched |= kTouchedBit;
      return false;
    });
    for (const std::int32_t id : ids) records_[static_cast<std::size_t>(id)].staleAndTouched &= ~kTouchedBit;
    ids.shrink_to_fit();
    bucketEntries_ += static_cast<std::int64_t>(ids.size());
    if (ids.empty()) forgetBucket(count);
    it = ids.empty() ? buckets_.erase(it) : std::next(it);
  }
  keptBySweep_ = bucketEntries_;
}

// The lists lie one after another, each behind its header slot: a record id for a
// live list, the complemented length for a released or dropped one. Each live list
// moves down to where the lists before it end, keeping the entries that
// `compactList(record, arena, written)` writes from slot `written` on; it returns
// where they end.
template <typename CompactList>
void PairReplacer::compactLists(CompactList compactList) {
  std::size_t written = 0;
  std::int64_t keptStale = 0;
  std::int32_t* const arena = arena_.data();
  // A live list's length is in its record, which lies anywhere, and the next list
  // starts past it: walked list by list, each record would be a miss that the next
  // list waits for. So the live lists' headers are marked first, in one pass over the
  // records in order, and a cursor kRecordsAhead headers ahead of the walk fetches
  // their records.
  const std::size_t arenaEnd = arena_.size();
  std::vector<std::uint64_t> headers((arenaEnd + 63) / 64);
  for (std::size_t id = 0; id < records_.size(); ++id) {
    const PairRecord& record = records_[id];
    if (record.count == kDeadRecord || record.offset == kNoList) continue;
    const std::size_t at = record.offset - 1;
    headers[at / 64] |= std::uint64_t{1} << (at % 64);
  }
  std::size_t ahead = 0;  // where the cursor looks for the next header on
  const auto fetchNextRecord = [&] {
    std::size_t word = ahead / 64;
    if (word >= headers.size()) return;
    std::uint64_t bits = headers[word] & (~std::uint64_t{0} << (ahead % 64));
    while (bits == 0) {
      if (++word == headers.size()) {
        ahead = arenaEnd;
        return;
      }
      bits = headers[word];
    }
    const std::size_t at = word * 64 + static_cast<std::size_t>(std::countr_zero(bits));
    prefetch(&records_[static_cast<std::size_t>(arena[at])]);
    ahead = at + 1;
  };
  for (std::size_t k = 0; k < kRecordsAhead; ++k) fetchNextRecord();
  for (std::size_t read = 0; read < arenaEnd;) {
    const std::int32_t header = arena[read];
    if (header < 0) {
      read += 1 + static_cast<std::size_t>(~header);
      continue;
    }
    fetchNextRecord();
    PairRecord& record = records_[static_cast<std::size_t>(header)];
    read += 1 + static_cast<std::size_t>(record.length);
    arena[written++] = header;
    const std::size_t start = written;
    written = compactList(record, arena, start);
    const auto length = static_cast<std::int32_t>(written - start);
    // A list moved unchecked keeps its stale count; a checked one holds none.
    record.staleAndTouched = length != record.length ? 0 : static_cast<std::uint32_t>(record.stale());
    keptStale += record.stale();
    record.offset = static_cast<std::uint32_t>(start);
    record.length = length;
  }
  arena_.resize(written);
  liveEntries_ = static_cast<std::int64_t>(written) - keptStale;
}

// Compacts the occurrence lists in place, dropping the lists of released records
// and the occurrences that replacements have destroyed. Called only when the arena
// is full and a share of it is garbage: each compaction walks every list.
void PairReplacer::collectGarbage(bool carryStale) {
  if (packable()) {
    ++packs_;
    compactWithPackedSequence();
    return;
  }
  // Most lists are short, many shorter than a prefetch distance, so a look-ahead
  // within one list would leave their entries unfetched: the prefetch runs over the
  // arena as one stream instead, into the lists that follow. A slot ahead that holds
  // a header or lies in a released list costs one useless prefetch; a value outside
  // the sequence (a released list's complemented length) is skipped. Clean lists
  // are copied without a look at the sequence, so the stream runs on only in lists
  // with stale entries.
  const std::size_t arenaEnd = arena_.size();
  const auto sequenceEnd = static_cast<std::uint32_t>(length_);
  // Stale entries are carried only when the arena is full, not when releaseGarbage
  // returns memory, and at most kCarriedShare of the garbage: on random bytes long
  // byte-pair lists each lose a few, and carried without a bound (35% of the garbage
  // at the first compaction on 16 MiB) they raised its peak to 158932 against 155452
  // KiB. On h64 the lists under 1 stale in 8 held 6% of it.
  std::int64_t carriable =
      carryStale ? static_cast<std::int64_t>(static_cast<double>(static_cast<std::int64_t>(arenaEnd) - liveEntries_) *
                                             kCarriedShare)
                 : 0;
  compactLists([&](const PairRecord& record, std::int32_t* arena, std::size_t written) {
    if (record.stale() == 0 ||
        (std::int64_t{record.stale()} * staleToCheck_ < record.length && record.stale() <= carriable)) {
      carriable -= record.stale();
#ifndef NDEBUG
      for (std::int32_t k = 0; k < record.length && record.stale() == 0; ++k) {
        assert(holdsPair(arena[record.offset + static_cast<std::uint32_t>(k)], record.left, record.right));
      }
#endif
      // Every entry, or all but a few, is still an occurrence: the list moves as it
      // is, its stale entries still counted. Lists before the first garbage are in
      // place already.
      if (written != record.offset) std::copy(arena + record.offset, arena + record.offset + record.length, arena + written);
      return written + static_cast<std::size_t>(record.length);
    }
    const std::size_t end = std::size_t{record.offset} + static_cast<std::size_t>(record.length);
    [[maybe_unused]] const std::size_t start = written;
    for (std::size_t k = record.offset; k < end; ++k) {
      if (k + kCompactAhead < arenaEnd) {
        const auto ahead = static_cast<std::uint32_t>(arena[k + kCompactAhead]);
        if (ahead < sequenceEnd) prefetch(&seq_[ahead]);
      }
      const std::int32_t p = arena[k];
      if (holdsPair(p, record.left, record.right)) arena[written++] = p;
    }
    // The record's count of stale entries is what the check found: destroyOccurrence
    // counted each destroyed occurrence once, and the list gained none.
    assert(written - start == static_cast<std::size_t>(record.length - record.stale()));
    return written;
  });
}

// collectGarbage for a sequence mostly of gaps: the live symbols move to its front,
// in order, and every position kept in a list moves with its symbol. A sparse
// sequence costs a cache miss for nearly every neighbour looked at and a second one
// for every gap's link followed; packed, a symbol's neighbours share its line. The
// freed tail of the sequence goes back to the system.
void PairReplacer::compactWithPackedSequence() {
  // An arena mostly of released lists would stay resident beside the live bits while
  // the sequence is walked: its lists move down unchecked first and the freed pages
  // go back. On 4 MiB of random bytes the last packing met 2.66 M slots of which
  // 0.14 M were live, and peaked there at 39960 KiB without this, 39576 with it.
  if (static_cast<std::int64_t>(arena_.size()) > 2 * liveEntries_) {
    compactLists([&](const PairRecord& record, std::int32_t* arena, std::size_t written) {
      if (written != record.offset) std::copy(arena + record.offset, arena + record.offset + record.length, arena + written);
      return written + static_cast<std::size_t>(record.length);
    });
    arena_.setCapacity(arena_.size());
  }
  LiveRank live(static_cast<std::size_t>(length_));
  // Every position is read in turn and its symbol written at the packed length so
  // far, which only a live one advances: no branch on the pattern of gaps (which
  // follows the gaps' links instead took 9 ns a position on h16). What lies behind
  // the walk and beyond the packed length is free: its pages go back as the walk
  // goes, so that the live bits add little to what the sequence held. (Returning
  // all that lay behind the walk, the pages written again cost 18% of the packing.)
  constexpr std::size_t kReleaseStride = 1 << 16;  // positions walked between two returns; not tuned
  const std::int32_t packedLength = liveSymbols_;
  std::size_t packed = 0;
  std::size_t released = static_cast<std::size_t>(packedLength);
  for (std::size_t word = 0; word < live.words(); ++word) {
    const std::size_t first = word * 32;
    const std::size_t last = std::min(first + 32, static_cast<std::size_t>(length_));
    std::uint32_t bits = 0;
    for (std::size_t p = first; p < last; ++p) {
      const std::int32_t symbol = seq_[p];
      const bool isLive = symbol >= -1;
      seq_[packed] = symbol;
      packed += isLive ? 1 : 0;
      bits |= static_cast<std::uint32_t>(isLive) << (p - first);
    }
    live.appendWord(bits);
    if (last >= released + kReleaseStride) {
      releaseWholePages(seq_ + released, seq_ + last);
      released = last;
    }
  }
  assert(packed == static_cast<std::size_t>(packedLength));
  releaseWholePages(seq_ + packed, seq_ + length_);
  length_ = packedLength;
  const auto moved = [&](std::int32_t p) { return static_cast<std::int32_t>(live.rank(static_cast<std::size_t>(p))); };

  // The lists, as in collectGarbage, with the live bits for the check of a stale
  // list's entries: an occurrence's position is live and its pair is now at the
  // packed position and the one after it. Every entry, clean or not, reads its word
  // of live bits: as in collectGarbage, the prefetches run over the arena as one
  // stream, into the lists that follow, skipping values outside the old sequence
  // (complemented lengths). Within one list only, the late packings, of lists of 2
  // or 3 entries, prefetched nearly nothing.
  const std::size_t arenaEnd = arena_.size();
  const auto oldLength = static_cast<std::uint32_t>(live.words() * 32);
  compactLists([&](const PairRecord& record, std::int32_t* arena, std::size_t written) {
    const std::size_t end = std::size_t{record.offset} + static_cast<std::size_t>(record.length);
    const bool check = record.stale() != 0;
    [[maybe_unused]] const std::size_t start = written;
    for (std::size_t k = record.offset; k < end; ++k) {
      // Ahead, the word of live bits; nearer, the packed sequence where it sends.
      if (k + kPackAhead < arenaEnd) {
        const auto ahead = static_cast<std::uint32_t>(arena[k + kPackAhead]);
        if (ahead < oldLength) prefetch(live.blockOf(ahead));
      }
      if (check && k + kPackAhead / 2 < arenaEnd) {
        const auto ahead = static_cast<std::uint32_t>(arena[k + kPackAhead / 2]);
        if (ahead < oldLength) prefetch(&seq_[moved(static_cast<std::int32_t>(ahead))]);
      }
      const std::int32_t p = arena[k];
      if (!check) {
        assert(live.isLive(static_cast<std::size_t>(p)) && seq_[moved(p)] == record.left && moved(p) + 1 < length_ &&
               seq_[moved(p) + 1] == record.right);
        arena[written++] = moved(p);
        continue;
      }
      if (!live.isLive(static_cast<std::size_t>(p))) continue;
      const std::int32_t at = moved(p);
      if (seq_[at] == record.left && at + 1 < length_ && seq_[at + 1] == record.right) arena[written++] = at;
    }
    assert(!check || written - start == static_cast<std::size_t>(record.length - record.stale()));
    return written;
  });
  // addNewPairs may be under way: the positions of the pass's new symbols and the
  // left neighbours it remembered move too.
  for (std::int32_t& p : madePositions_) p = moved(p);
  for (auto* kept : {&neighbours_, &captured_}) {
    for (std::size_t k = 0; k < kept->size(); ++k) {
      if ((*kept)[k].leftPosition >= 0) (*kept)[k].leftPosition = moved((*kept)[k].leftPosition);
    }
  }
}

// No pair occurs twice any more, and none ever will again: a new symbol occurs once.
// The passes end here. Pairing up what is left would give rules of one use each,
// which rule selection folds into the root one and all: the root's body is this
// sequence, so it is left at the front for rule selection to read as it is.
void PairReplacer::finishWithSinglePairs() {
  std::int32_t length = 0;
  for (std::int32_t p = 0; p < length_; p = next(p)) seq_[length++] = seq_[p];
  // The sequence is only read at its front from here on: its tail's pages go back.
  releaseWholePages(seq_ + length, seq_ + length_);
  remainingLength_ = length;
  releaseStorage(records_);
  releaseStorage(table_);
  releaseStorage(arena_);
  releaseStorage(buckets_);
  releaseStorage(bucketCache_);
  releaseStorage(passIds_);
  releaseStorage(unbuiltLists_);
  releaseStorage(byteRecord_);
  releaseStorage(touched_);
  releaseStorage(made_);
  releaseStorage(madePositions_);
  releaseStorage(changed_);
  captured_.setCapacity(0);
  releaseStorage(partners_);
  releaseStorage(partnerTable_);
  returnFreedHeap();
}

}  // namespace quorlen
