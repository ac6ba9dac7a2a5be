#include "decoder/reader_tables.hpp"

#include <algorithm>
#include <cstring>
#include <new>

#include "encoder/release_storage.hpp"

namespace quorlen {
namespace {

constexpr std::uint32_t kStep = ReaderTables::kSampleStep;

void throwIfBeyondPlaces(std::uint64_t place) {
  if (place > ReaderTables::kPlaceMask) throw std::bad_alloc();
}

// Children of `rule` in body order, as element values (bytes, or kFirstRule + rule).
template <typename Visit>
void forEachChild(const Grammar& grammar, std::uint32_t rule, Visit visit) {
  const std::uint32_t begin = grammar.bodyStart[rule];
  if (grammar.isRun[rule]) {
    const std::uint32_t first = grammar.elements[begin];
    const std::uint32_t end = first + grammar.elements[begin + 1];
    for (std::uint32_t k = first; k < end; ++k) visit(Grammar::kFirstRule + k);
  } else {
    for (std::uint32_t i = begin; i < grammar.bodyStart[rule + 1]; ++i) visit(grammar.elements[i]);
  }
}

std::uint32_t childCount(const Grammar& grammar, std::uint32_t rule) {
  const std::uint32_t begin = grammar.bodyStart[rule];
  return grammar.isRun[rule] ? grammar.elements[begin + 1] : grammar.bodyStart[rule + 1] - begin;
}

class TableBuilder {
 public:
  TableBuilder(const Grammar& grammar, ReaderTables& tables)
      : grammar_(grammar), tables_(tables), word_(grammar.ruleCount(), 0), levels_(grammar.ruleCount(), 0) {}

  // The largest short size up to kMaxShortSize whose tables fit `budget` bytes, or else
  // the one whose tables are smallest: their memory is known ahead from the rules' sizes
  // and child counts. Then room is made for exactly those short bytes.
  void chooseShortSize(std::uint64_t budget) {
    constexpr std::uint32_t kMax = ReaderTables::kMaxShortSize;
    std::uint64_t shortBytes[kMax + 1] = {};  // by rule size: bytes kept if the rule is short
    std::uint64_t bodyWords[kMax + 2] = {};   // by rule size (kMax + 1: larger): words if walked
    for (std::uint32_t rule = 0; rule < grammar_.ruleCount(); ++rule) {
      const std::uint32_t size = std::min(grammar_.expandedSize[rule], kMax + 1);
      if (size <= kMax) shortBytes[size] += 1 + size;
      bodyWords[size] += 2 + childCount(grammar_, rule);
    }
    std::uint64_t walked = 0;
    for (std::uint32_t size = 0; size <= kMax + 1; ++size) walked += bodyWords[size];
    std::uint64_t kept = 0;
    std::uint64_t smallest = UINT64_MAX;
    std::uint64_t shortTotal = 0;
    for (std::uint32_t size = 0; size <= kMax; ++size) {
      walked -= bodyWords[size];
      kept += shortBytes[size];
      const std::uint64_t memory = kept + walked * 4 * (kStep + 1) / kStep;
      if (memory <= budget || (smallest > budget && memory < smallest)) {
        shortSize_ = size;
        shortTotal = kept;
      }
      smallest = std::min(smallest, memory);
    }
    throwIfBeyondPlaces(shortTotal);
    // Every short rule is reached, so all is filled but the copies' slack.
    tables_.shortBytes.resize(shortTotal + ReaderTables::kCopyChunk);
  }

  // Children before parents, by an iterative post-order walk from the start rule: a
  // short rule's bytes are made from its children's, which are short too; walked rules
  // get their places in the same order, so that a rule's walked children lie near it.
  void placeRules() {
    struct Frame {
      std::uint32_t rule;
      std::uint32_t next;  // element index, or rule number inside a run
      std::uint32_t end;
    };
    std::vector<std::uint8_t> done(grammar_.ruleCount(), 0);
    std::vector<Frame> stack;
    auto open = [&](std::uint32_t rule) {
      const std::uint32_t begin = grammar_.bodyStart[rule];
      if (grammar_.isRun[rule]) {
        const std::uint32_t first = grammar_.elements[begin];
        stack.push_back({rule, first, first + grammar_.elements[begin + 1]});
      } else {
        stack.push_back({rule, begin, grammar_.bodyStart[rule + 1]});
      }
    };
    open(0);
    while (!stack.empty()) {
      Frame& frame = stack.back();
      if (frame.next == frame.end) {
        const std::uint32_t rule = frame.rule;
        stack.pop_back();
        done[rule] = 1;
        place(rule);
        continue;
      }
      std::uint32_t child;
      if (grammar_.isRun[frame.rule]) {
        child = frame.next++;
      } else {
        const std::uint32_t element = grammar_.elements[frame.next++];
        if (element < Grammar::kFirstRule) continue;
        child = element - Grammar::kFirstRule;
      }
      if (!done[child]) open(child);  // may move the stack: `frame` is not used after this
    }
    releaseStorage(levels_);
  }

  // Writes the walked rules' size, count and element words, with the samples.
  void writeBodies() {
    tables_.bodies.resize(bodyWords_);
    tables_.bodySamples.resize(bodyWords_ / kStep + 1);
    std::uint32_t* const bodies = tables_.bodies.data();
    std::uint32_t* const samples = tables_.bodySamples.data();
    std::uint32_t at = 0;
    for (const std::uint32_t rule : walked_) {
      bodies[at++] = grammar_.expandedSize[rule];
      bodies[at++] = childCount(grammar_, rule);
      std::uint32_t offset = 0;
      forEachChild(grammar_, rule, [&](std::uint32_t element) {
        if (at % kStep == 0) samples[at / kStep] = offset;
        if (element < Grammar::kFirstRule) {
          bodies[at++] = element;
          offset += 1;
        } else {
          bodies[at++] = word_[element - Grammar::kFirstRule];
          offset += grammar_.expandedSize[element - Grammar::kFirstRule];
        }
      });
    }
    tables_.root = word_[0];
  }

 private:
  void place(std::uint32_t rule) {
    const std::uint32_t size = grammar_.expandedSize[rule];
    if (size > shortSize_) {
      bodyWords_ += 2;
      throwIfBeyondPlaces(bodyWords_);
      word_[rule] = ReaderTables::kBodyTag | static_cast<std::uint32_t>(bodyWords_);
      bodyWords_ += childCount(grammar_, rule);
      walked_.push_back(rule);
      // The longest chain of walked rules below this one, children being placed first:
      // a read never keeps more levels than the longest from the start rule.
      std::uint32_t deepest = 0;
      forEachChild(grammar_, rule, [&](std::uint32_t element) {
        if (element >= Grammar::kFirstRule) deepest = std::max(deepest, levels_[element - Grammar::kFirstRule]);
      });
      levels_[rule] = deepest + 1;
      tables_.height = std::max(tables_.height, deepest + 1);
      return;
    }
    std::uint8_t* const bytes = tables_.shortBytes.data();
    word_[rule] = ReaderTables::kShortTag | static_cast<std::uint32_t>(shortUsed_);
    std::uint8_t* out = bytes + shortUsed_;
    shortUsed_ += 1 + size;
    *out++ = static_cast<std::uint8_t>(size);
    forEachChild(grammar_, rule, [&](std::uint32_t element) {
      if (element < Grammar::kFirstRule) {
        *out++ = static_cast<std::uint8_t>(element);
        return;
      }
      const std::uint8_t* from = bytes + (word_[element - Grammar::kFirstRule] & ReaderTables::kPlaceMask);
      std::memcpy(out, from + 1, from[0]);
      out += from[0];
    });
  }

  const Grammar& grammar_;
  ReaderTables& tables_;
  std::vector<std::uint32_t> word_;    // rule -> its word
  std::vector<std::uint32_t> walked_;  // walked rules in the order of their places
  std::vector<std::uint32_t> levels_;  // rule -> walked rules on its longest path down (0: short)
  std::uint32_t shortSize_ = 0;
  std::uint64_t shortUsed_ = 0;  // bytes of shortBytes filled
  std::uint64_t bodyWords_ = 0;
};

}  // namespace

ReaderTables buildReaderTables(Grammar&& grammar, std::size_t streamSize) {
  ReaderTables tables;
  const std::uint32_t ruleCount = grammar.ruleCount();
  if (ruleCount == 0) return tables;
  tables.restoredSize = grammar.expandedSize[0];
  TableBuilder builder(grammar, tables);
  builder.chooseShortSize(std::uint64_t{streamSize} * ReaderTables::kBudgetQuartersPerStreamByte / 4 +
                          ReaderTables::kBudgetFloor);
  builder.placeRules();
  builder.writeBodies();
  return tables;
}

}  // namespace quorlen
