#include "decoder/grammar_check.hpp"

#include <string>
#include <vector>

#include "common/failure.hpp"

namespace quorlen {

// The encoder numbers the rules of all runs first, run after run, from 1 on: so run
// ranges never overlap, never hold the start rule, and together fill 1 .. T for some T.
// This also keeps the size pass linear, as no rule is listed by two runs.
void checkRunRanges(const Grammar& grammar) {
  const std::uint32_t ruleCount = grammar.ruleCount();
  HugePageVector<std::uint8_t> covered(ruleCount, 0);
  for (std::uint32_t rule = 0; rule < ruleCount; ++rule) {
    if (!grammar.isRun[rule]) continue;
    const std::uint32_t first = grammar.elements[grammar.bodyStart[rule]];
    const std::uint32_t length = grammar.elements[grammar.bodyStart[rule] + 1];
    for (std::uint32_t k = first; k < first + length; ++k) {
      if (covered[k]) refuseStream("runs overlap at rule " + std::to_string(k));
      covered[k] = 1;
    }
  }
  if (ruleCount > 0 && covered[0]) refuseStream("a run lists the start rule");
  for (std::uint32_t rule = 2; rule < ruleCount; ++rule) {
    if (covered[rule] && !covered[rule - 1]) refuseStream("runs leave a gap before rule " + std::to_string(rule));
  }
}

namespace {

struct Frame {
  std::uint32_t rule;
  std::uint32_t next;  // next element index, or next rule number of a run
  std::uint32_t end;
  std::uint32_t run;
  std::uint64_t total;  // bytes of the elements done so far
};

// Sizes double as the walk's state: a rule not yet met, or met and still open, holds one
// of these; a finished rule holds its size, which is below kMaxRestoredSize. One table
// instead of two halves the cache misses of the walk.
constexpr std::uint32_t kUnseen = UINT32_MAX;
constexpr std::uint32_t kOpen = UINT32_MAX - 1;
static_assert(kMaxRestoredSize < kOpen);

// Rules this many elements ahead have their entry fetched early: the walk's reads of the
// size table are random. Taken from the expander; with it and the single table the check
// of h64 went from 0.095 to 0.075 s of CPU (loaded machine).
constexpr std::uint32_t kLookAhead = 16;

}  // namespace

// A depth-first walk from the start rule with an explicit stack. Each frame runs through
// its body until it meets a rule not yet seen, which it opens; a finished rule adds its
// size, an open one is a cycle.
void checkGrammar(Grammar& grammar) {
  checkRunRanges(grammar);

  const std::uint32_t ruleCount = grammar.ruleCount();
  const std::uint32_t* const elements = grammar.elements.data();
  const auto elementCount = static_cast<std::uint32_t>(grammar.elements.size());
  const std::uint32_t* const bodyStart = grammar.bodyStart.data();
  auto& sizes = grammar.expandedSize;
  sizes.assign(ruleCount, kUnseen);
  std::uint32_t* const size = sizes.data();
  std::vector<Frame> stack;

  auto open = [&](std::uint32_t rule) {
    size[rule] = kOpen;
    const std::uint32_t begin = bodyStart[rule];
    if (grammar.isRun[rule]) {
      stack.push_back({rule, elements[begin], elements[begin] + elements[begin + 1], 1, 0});
    } else {
      stack.push_back({rule, begin, bodyStart[rule + 1], 0, 0});
    }
  };
  auto tooLarge = [] { refuseStream("restored data would reach 2 GiB"); };

  open(0);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    std::uint32_t i = frame.next;
    const std::uint32_t end = frame.end;
    std::uint64_t total = frame.total;
    std::uint32_t child = kUnseen;
    while (i < end) {
      std::uint32_t rule = i++;
      if (!frame.run) {
        if (i + kLookAhead < elementCount && elements[i + kLookAhead] >= Grammar::kFirstRule) {
          __builtin_prefetch(size + (elements[i + kLookAhead] - Grammar::kFirstRule));
        }
        const std::uint32_t element = elements[rule];
        if (element < Grammar::kFirstRule) {
          ++total;
          continue;
        }
        rule = element - Grammar::kFirstRule;
      }
      const std::uint32_t childSize = size[rule];
      if (childSize < kOpen) {
        total += childSize;
        continue;
      }
      if (childSize == kOpen) refuseStream("rule " + std::to_string(rule) + " refers to itself");
      child = rule;
      break;
    }
    if (total >= kMaxRestoredSize) tooLarge();
    if (child != kUnseen) {
      frame.next = i;
      frame.total = total;
      open(child);  // may move the stack: `frame` is not used after this
      continue;
    }
    size[frame.rule] = static_cast<std::uint32_t>(total);
    stack.pop_back();
    if (!stack.empty()) stack.back().total += total;  // the parent stepped past this rule when it opened it
  }

  for (std::uint32_t rule = 0; rule < ruleCount; ++rule) {
    if (size[rule] == kUnseen) refuseStream("rule " + std::to_string(rule) + " is not reached from the start rule");
  }
}

}  // namespace quorlen
