#include "decoder/grammar_check.hpp"

#include <string>
#include <vector>

#include "decoder/corrupt_stream_error.hpp"

namespace quorlen {
namespace {

// The encoder numbers the rules of all runs first, run after run, from 1 on: so run
// ranges never overlap, never hold the start rule, and together fill 1 .. T for some T.
// This also keeps the size pass linear, as no rule is listed by two runs.
void checkRunRanges(const Grammar& grammar) {
  const std::uint32_t ruleCount = grammar.ruleCount();
  std::vector<std::uint8_t> covered(ruleCount, 0);
  for (std::uint32_t rule = 0; rule < ruleCount; ++rule) {
    if (!grammar.isRun[rule]) continue;
    const std::uint32_t first = grammar.elements[grammar.bodyStart[rule]];
    const std::uint32_t length = grammar.elements[grammar.bodyStart[rule] + 1];
    for (std::uint32_t k = first; k < first + length; ++k) {
      if (covered[k]) throw CorruptStreamError("runs overlap at rule " + std::to_string(k));
      covered[k] = 1;
    }
  }
  if (ruleCount > 0 && covered[0]) throw CorruptStreamError("a run lists the start rule");
  for (std::uint32_t rule = 2; rule < ruleCount; ++rule) {
    if (covered[rule] && !covered[rule - 1]) throw CorruptStreamError("runs leave a gap before rule " + std::to_string(rule));
  }
}

struct Frame {
  std::uint32_t rule;
  std::uint32_t next;  // next element index, or next rule number of a run
  std::uint32_t end;
};

}  // namespace

void checkGrammar(Grammar& grammar) {
  checkRunRanges(grammar);

  const std::uint32_t ruleCount = grammar.ruleCount();
  const auto& elements = grammar.elements;
  auto& size = grammar.expandedSize;
  size.assign(ruleCount, 0);
  enum : std::uint8_t { kUnseen, kOpen, kDone };
  std::vector<std::uint8_t> state(ruleCount, kUnseen);
  std::vector<Frame> stack;

  auto open = [&](std::uint32_t rule) {
    state[rule] = kOpen;
    const std::uint32_t begin = grammar.bodyStart[rule];
    if (grammar.isRun[rule]) {
      stack.push_back({rule, elements[begin], elements[begin] + elements[begin + 1]});
    } else {
      stack.push_back({rule, begin, grammar.bodyStart[rule + 1]});
    }
  };
  auto add = [&](std::uint32_t rule, std::uint64_t amount) {
    const std::uint64_t total = size[rule] + amount;
    if (total >= kMaxRestoredSize) throw CorruptStreamError("restored data would reach 2 GiB");
    size[rule] = static_cast<std::uint32_t>(total);
  };

  open(0);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    const std::uint32_t rule = frame.rule;
    if (frame.next == frame.end) {
      state[rule] = kDone;
      stack.pop_back();
      if (!stack.empty()) add(stack.back().rule, size[rule]);
      continue;
    }
    std::uint32_t child;
    if (grammar.isRun[rule]) {
      child = frame.next++;
    } else {
      const std::uint32_t element = elements[frame.next++];
      if (element < Grammar::kFirstRule) {
        add(rule, 1);
        continue;
      }
      child = element - Grammar::kFirstRule;
    }
    if (state[child] == kDone) {
      add(rule, size[child]);
    } else if (state[child] == kOpen) {
      throw CorruptStreamError("rule " + std::to_string(child) + " refers to itself");
    } else {
      open(child);  // may move the stack: `frame` is not used after this
    }
  }

  for (std::uint32_t rule = 0; rule < ruleCount; ++rule) {
    if (state[rule] != kDone) throw CorruptStreamError("rule " + std::to_string(rule) + " is not reached from the start rule");
  }
}

}  // namespace quorlen
