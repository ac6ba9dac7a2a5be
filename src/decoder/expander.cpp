#include "decoder/expander.hpp"

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "common/huge_pages.hpp"

namespace quorlen {
namespace {

// Where each rule's expansion was last written (an absolute output position, or
// kNowhere), next to its size so that one load finds both. The size is noted when the
// rule's walk ends, so the grammar's own table of sizes is not needed here.
struct RuleSlot {
  std::uint32_t position;
  std::uint32_t size;  // kOpen while the rule's walk is under way
};
constexpr std::uint32_t kNowhere = UINT32_MAX;
// Above every size a copy may have, so an open rule is never copied.
constexpr std::uint32_t kOpen = UINT32_MAX;
// How far ahead the walk looks up slots, and the sources of copies. With 16 and 8 the
// whole expansion of h64 took 0.187 s of CPU against 0.197 s without looking ahead
// (medians of five, on a loaded machine); other distances were not tried.
constexpr std::uint32_t kSlotAhead = 16;
constexpr std::uint32_t kSourceAhead = 8;

struct Frame {
  std::uint32_t rule;
  std::uint32_t next;  // next element index, or next rule number of a run
  std::uint32_t end;
  std::uint32_t run;
};

// The bytes being written. data[0] is output position `base`; [data, out) is written,
// and the part of it from `unsent` on is not yet handed to the sink. Once `out` passes
// `flushAt`, makeRoom() sends what is pending and slides the last window's bytes down.
// A copy must end by copyEnd; streaming puts it maxCopy past flushAt, so that the room
// there (maxCopy plus slack) always holds one copy or byte. Without a sink the buffer is
// the whole output, and reaching flushAt means the output is too large for it.
struct OutputBuffer {
  std::uint8_t* data;
  std::uint8_t* out;
  std::uint8_t* unsent;
  std::uint8_t* flushAt;
  std::uint8_t* copyEnd;  // less than kOpen bytes past any `out`
  std::uint32_t base;
  std::size_t window;
  std::size_t block;
  ByteSink* sink;
  // For a walk that checks as it goes: called once when the output outgrows the buffer,
  // it checks the grammar in full and returns the sink the walk then streams to.
  const std::function<ByteSink&()>* streamWhenFull;

  // Turns a checking walk into a streaming one: the bytes so far go out first.
  bool startStreaming() {
    if (streamWhenFull == nullptr) return false;
    sink = &(*streamWhenFull)();
    streamWhenFull = nullptr;
    return true;
  }

  void makeRoom() {
    sendPending();
    const std::size_t shift = static_cast<std::size_t>(out - data) - window;
    std::memmove(data, data + shift, window);
    base += static_cast<std::uint32_t>(shift);
    out -= shift;
    unsent = out;
  }
  void sendPending() {
    while (unsent != out) {
      const std::size_t size = std::min({static_cast<std::size_t>(out - unsent), block, kLargestSinkWrite});
      sink->write({unsent, size});
      unsent += size;
    }
  }
};

// Copies `size` bytes that end at or before `to`. Up to 32 bytes move as two 16-byte
// pieces, which may write past the end (the slack) and read bytes this copy just wrote,
// but only beyond `size`: every byte that counts is read from before `to`.
inline void copyEarlier(std::uint8_t* to, const std::uint8_t* from, std::uint32_t size) {
  if (size <= 32) {
    std::uint8_t piece[16];
    std::memcpy(piece, from, 16);
    std::memcpy(to, piece, 16);
    std::memcpy(piece, from + 16, 16);
    std::memcpy(to + 16, piece, 16);
  } else {
    std::memcpy(to, from, size);
  }
}

// The walk. A rule met for the first time is walked element by element, and where its
// expansion starts is noted; met again while those bytes are still in the buffer, it
// is one copy from there. An explicit stack replaces recursion, as grammars may nest
// millions of rules deep.
//
// The walk also finds what makes a grammar unfit, for a caller that has not checked it:
// a rule met again while its own walk is open (a cycle), output that reaches flushAt
// with no sink to send it to (too large), and, by the count of rules walked, rules the
// start rule never reaches. It then returns false, leaving the buffer's contents
// undefined; a checked grammar always returns true.
bool expand(const Grammar& grammar, OutputBuffer& buffer, std::uint32_t& rulesWalked) {
  const std::uint32_t ruleCount = grammar.ruleCount();
  HugePageVector<RuleSlot> slots(ruleCount, RuleSlot{kNowhere, 0});

  const std::uint32_t* const elements = grammar.elements.data();
  const std::uint32_t* const bodyStart = grammar.bodyStart.data();
  const std::uint8_t* const isRun = grammar.isRun.data();
  RuleSlot* const slot = slots.data();
  const std::uint8_t* const copyEnd = buffer.copyEnd;
  std::uint8_t* out = buffer.out;
  std::uint8_t* data = buffer.data;
  std::uint32_t base = buffer.base;
  const std::uint8_t* flushAt = buffer.flushAt;

  std::vector<Frame> stack;
  std::uint32_t pushes = 0;
  auto push = [&](std::uint32_t rule) {
    ++pushes;
    slot[rule] = {base + static_cast<std::uint32_t>(out - data), kOpen};
    const std::uint32_t begin = bodyStart[rule];
    if (isRun[rule]) {
      stack.push_back({rule, elements[begin], elements[begin] + elements[begin + 1], 1});
    } else {
      stack.push_back({rule, begin, bodyStart[rule + 1], 0});
    }
  };
  // Copies the rule if its bytes are in the buffer; false if it must be walked.
  auto copyRule = [&](std::uint32_t rule) {
    const RuleSlot s = slot[rule];
    const std::uint32_t offset = s.position - base;  // wraps above the written part when before base or kNowhere
    if (offset >= static_cast<std::uint32_t>(out - data) || s.size > static_cast<std::size_t>(copyEnd - out)) {
      return false;
    }
    copyEarlier(out, data + offset, s.size);
    out += s.size;
    return true;
  };
  // Rules a few elements ahead are looked up early: their slots, and the bytes that
  // will be copied from where a slot points, are random reads all over the output. A
  // copy that crosses into a second cache line gets that line too, and a rule not yet
  // written, which will be walked, gets the start of its body. These two took h64 to
  // /dev/null from 0.395 to 0.338 s of CPU (medians of 15 pairs, heavily loaded machine).
  const std::uint32_t elementCount = static_cast<std::uint32_t>(grammar.elements.size());
  auto prefetchSource = [&](std::uint32_t rule) {
    const RuleSlot s = slot[rule];
    const std::uint32_t offset = s.position - base;
    if (offset < static_cast<std::uint32_t>(out - data)) {
      __builtin_prefetch(data + offset);
      if ((offset & 63) + s.size > 64) __builtin_prefetch(data + offset + 64);
    } else {
      __builtin_prefetch(elements + bodyStart[rule]);
    }
  };
  auto prefetchElement = [&](std::uint32_t i) {
    if (i + kSlotAhead < elementCount) {
      const std::uint32_t element = elements[i + kSlotAhead];
      if (element >= Grammar::kFirstRule) __builtin_prefetch(&slot[element - Grammar::kFirstRule]);
    }
    if (i + kSourceAhead < elementCount) {
      const std::uint32_t element = elements[i + kSourceAhead];
      if (element >= Grammar::kFirstRule) prefetchSource(element - Grammar::kFirstRule);
    }
  };
  auto roomCheck = [&] {
    if (out < flushAt) return true;
    if (buffer.sink == nullptr && !buffer.startStreaming()) return false;
    buffer.out = out;
    buffer.makeRoom();
    out = buffer.out;
    base = buffer.base;
    return true;
  };

  push(0);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    std::uint32_t i = frame.next;
    const std::uint32_t end = frame.end;
    std::uint32_t deeper = kNowhere;
    if (frame.run) {
      while (i < end) {
        if (!roomCheck()) return false;
        if (i + kSourceAhead < end) prefetchSource(i + kSourceAhead);
        const std::uint32_t rule = i++;
        if (!copyRule(rule)) {
          deeper = rule;
          break;
        }
      }
    } else {
      while (i < end) {
        if (!roomCheck()) return false;
        prefetchElement(i);
        const std::uint32_t element = elements[i++];
        if (element < Grammar::kFirstRule) {
          *out++ = static_cast<std::uint8_t>(element);
        } else if (!copyRule(element - Grammar::kFirstRule)) {
          deeper = element - Grammar::kFirstRule;
          break;
        }
      }
    }
    if (deeper == kNowhere) {
      RuleSlot& done = slot[frame.rule];
      done.size = base + static_cast<std::uint32_t>(out - data) - done.position;
      stack.pop_back();
    } else {
      if (slot[deeper].size == kOpen) return false;  // a cycle
      frame.next = i;
      push(deeper);  // may move the stack: `frame` is not used after this
    }
  }
  buffer.out = out;
  rulesWalked = pushes;
  return true;
}

}  // namespace

void expandWhole(const Grammar& grammar, std::span<std::uint8_t> out) {
  OutputBuffer buffer{};
  buffer.data = buffer.out = buffer.unsent = out.data();
  buffer.flushAt = buffer.copyEnd = out.data() + out.size();  // never reached: the expansion ends before the slack
  std::uint32_t rulesWalked = 0;
  expand(grammar, buffer, rulesWalked);
}

std::optional<std::uint64_t> expandChecking(const Grammar& grammar, std::span<std::uint8_t> out) {
  if (out.size() <= kExpansionSlack) return std::nullopt;
  const std::size_t room = std::min<std::size_t>(out.size() - kExpansionSlack, kMaxRestoredSize);
  OutputBuffer buffer{};
  buffer.data = buffer.out = buffer.unsent = out.data();
  buffer.flushAt = buffer.copyEnd = out.data() + room;
  std::uint32_t rulesWalked = 0;
  if (!expand(grammar, buffer, rulesWalked) || rulesWalked != grammar.ruleCount() || buffer.out >= buffer.flushAt) {
    return std::nullopt;
  }
  return static_cast<std::uint64_t>(buffer.out - buffer.data);
}

std::optional<CheckedExpansion> expandCheckingOrStreaming(const Grammar& grammar, std::span<std::uint8_t> out,
                                                          const StreamingLimits& limits,
                                                          const std::function<ByteSink&()>& checkAndOpen) {
  const std::size_t spare = std::size_t{limits.maxCopy} + kExpansionSlack;
  if (out.size() <= spare + 1) return std::nullopt;
  const std::size_t room = std::min<std::size_t>(out.size() - spare, kMaxRestoredSize);
  OutputBuffer buffer{};
  buffer.data = buffer.out = buffer.unsent = out.data();
  buffer.flushAt = out.data() + room;
  buffer.copyEnd = buffer.flushAt + limits.maxCopy;
  // Once streaming, the buffer holds a window of recent output and a block to send.
  buffer.window = std::max<std::size_t>(std::min(limits.window, room / 2), 1);
  buffer.block = limits.block;
  buffer.streamWhenFull = &checkAndOpen;
  std::uint32_t rulesWalked = 0;
  if (!expand(grammar, buffer, rulesWalked)) return std::nullopt;
  if (buffer.sink == nullptr) {
    if (buffer.out < buffer.flushAt) {
      if (rulesWalked != grammar.ruleCount()) return std::nullopt;
      return CheckedExpansion{static_cast<std::uint64_t>(buffer.out - buffer.data), false};
    }
    buffer.startStreaming();  // the last copy ran past the room
  }
  buffer.sendPending();
  return CheckedExpansion{buffer.base + static_cast<std::uint64_t>(buffer.out - buffer.data), true};
}

void expandStreaming(const Grammar& grammar, ByteSink& sink, const StreamingLimits& limits) {
  // In huge pages, and never zeroed by hand: pages past a small output are never touched.
  const std::size_t size = limits.window + limits.block + limits.maxCopy + kExpansionSlack;
  const std::unique_ptr<std::uint8_t, UnmapHugePages> bytes(static_cast<std::uint8_t*>(mapHugePages(size)),
                                                             UnmapHugePages{size});
  OutputBuffer buffer{};
  buffer.data = buffer.out = buffer.unsent = bytes.get();
  buffer.flushAt = bytes.get() + limits.window + limits.block;
  buffer.copyEnd = buffer.flushAt + limits.maxCopy;
  buffer.window = limits.window;
  buffer.block = limits.block;
  buffer.sink = &sink;
  std::uint32_t rulesWalked = 0;
  expand(grammar, buffer, rulesWalked);
  buffer.sendPending();
}

}  // namespace quorlen
