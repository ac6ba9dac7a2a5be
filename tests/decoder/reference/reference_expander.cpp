#include "reference/reference_expander.hpp"

#include <cstring>

namespace quorlen::test {
namespace {

constexpr std::uint32_t kShortSize = 64;
constexpr std::uint32_t kCopyChunk = 16;

struct ShortRef {
  std::uint32_t offset;  // into bytes
  std::uint32_t size;    // 0: not stored, walk the rule
};

struct ShortExpansions {
  std::vector<ShortRef> ref;
  std::vector<std::uint8_t> bytes;
};

// Called once the rule's children are done, so theirs are in place if they fitted.
void storeShortExpansion(const Grammar& grammar, ShortExpansions& shorts, std::uint32_t rule, std::uint32_t size) {
  auto& bytes = shorts.bytes;
  const auto offset = static_cast<std::uint32_t>(bytes.size());
  bytes.resize(offset + size);  // within the capacity reserved up front: no move
  std::uint8_t* out = bytes.data() + offset;
  auto append = [&](std::uint32_t element) {
    if (element < Grammar::kFirstRule) {
      *out++ = static_cast<std::uint8_t>(element);
      return true;
    }
    const ShortRef child = shorts.ref[element - Grammar::kFirstRule];
    if (child.size == 0) return false;
    std::memcpy(out, bytes.data() + child.offset, child.size);
    out += child.size;
    return true;
  };
  const std::uint32_t begin = grammar.bodyStart[rule];
  bool complete = true;
  if (grammar.isRun[rule]) {
    const std::uint32_t first = grammar.elements[begin];
    for (std::uint32_t k = first; complete && k < first + grammar.elements[begin + 1]; ++k) {
      complete = append(Grammar::kFirstRule + k);
    }
  } else {
    for (std::uint32_t i = begin; complete && i < grammar.bodyStart[rule + 1]; ++i) complete = append(grammar.elements[i]);
  }
  if (!complete) {
    bytes.resize(offset);
    return;
  }
  shorts.ref[rule] = {offset, size};
}

// The rules in post-order from the start rule, storing the short ones.
ShortExpansions buildShortExpansions(const Grammar& grammar, std::size_t budget) {
  struct Frame {
    std::uint32_t rule, next, end;
  };
  ShortExpansions shorts;
  shorts.ref.assign(grammar.ruleCount(), ShortRef{0, 0});
  shorts.bytes.reserve(budget + kShortSize + kCopyChunk);
  std::vector<std::uint8_t> done(grammar.ruleCount(), 0);
  std::vector<Frame> stack;
  auto open = [&](std::uint32_t rule) {
    done[rule] = 1;
    const std::uint32_t begin = grammar.bodyStart[rule];
    if (grammar.isRun[rule]) {
      stack.push_back({rule, grammar.elements[begin], grammar.elements[begin] + grammar.elements[begin + 1]});
    } else {
      stack.push_back({rule, begin, grammar.bodyStart[rule + 1]});
    }
  };
  open(0);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    if (frame.next == frame.end) {
      const std::uint32_t size = grammar.expandedSize[frame.rule];
      if (size <= kShortSize && shorts.bytes.size() < budget) storeShortExpansion(grammar, shorts, frame.rule, size);
      stack.pop_back();
      continue;
    }
    std::uint32_t child = frame.next++;
    if (!grammar.isRun[frame.rule]) {
      if (grammar.elements[child] < Grammar::kFirstRule) continue;
      child = grammar.elements[child] - Grammar::kFirstRule;
    }
    if (!done[child]) open(child);  // may move the stack: `frame` is not used after this
  }
  shorts.bytes.resize(shorts.bytes.size() + kCopyChunk);
  return shorts;
}

}  // namespace

std::vector<std::uint8_t> referenceExpand(const Grammar& grammar, std::size_t shortBudget) {
  struct Frame {
    std::uint32_t next, end, run;
  };
  const ShortExpansions shorts = buildShortExpansions(grammar, shortBudget);
  std::vector<std::uint8_t> output(grammar.expandedSize[0] + kShortSize + kCopyChunk);
  std::uint8_t* out = output.data();
  std::vector<Frame> stack;
  auto push = [&](std::uint32_t rule) {
    const std::uint32_t begin = grammar.bodyStart[rule];
    if (grammar.isRun[rule]) {
      stack.push_back({grammar.elements[begin], grammar.elements[begin] + grammar.elements[begin + 1], 1});
    } else {
      stack.push_back({begin, grammar.bodyStart[rule + 1], 0});
    }
  };
  // Writes a short rule at once; false for a rule that must be walked.
  auto copyShort = [&](std::uint32_t rule) {
    const ShortRef ref = shorts.ref[rule];
    if (ref.size == 0) return false;
    for (std::uint32_t done = 0; done < ref.size; done += kCopyChunk) {
      std::memcpy(out + done, shorts.bytes.data() + ref.offset + done, kCopyChunk);
    }
    out += ref.size;
    return true;
  };

  if (!copyShort(0)) push(0);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    std::uint32_t deeper = UINT32_MAX;
    while (frame.next < frame.end && deeper == UINT32_MAX) {
      std::uint32_t rule = frame.next++;
      if (!frame.run) {
        const std::uint32_t element = grammar.elements[rule];
        if (element < Grammar::kFirstRule) {
          *out++ = static_cast<std::uint8_t>(element);
          continue;
        }
        rule = element - Grammar::kFirstRule;
      }
      if (!copyShort(rule)) deeper = rule;
    }
    if (deeper == UINT32_MAX) {
      stack.pop_back();
    } else {
      push(deeper);  // may move the stack: `frame` is not used after this
    }
  }
  output.resize(static_cast<std::size_t>(out - output.data()));
  return output;
}

}  // namespace quorlen::test
