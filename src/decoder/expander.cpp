#include "decoder/expander.hpp"

#include <cstring>
#include <vector>

namespace quorlen {
namespace {

struct Frame {
  std::uint32_t next;  // next element index, or next rule number of a run
  std::uint32_t end;
  std::uint32_t run;
};

// Output buffer that hands out exact blocks; its slack lets short expansions be
// stored with one fixed-size copy.
class BlockWriter {
 public:
  explicit BlockWriter(ByteSink& sink) : sink_(sink), buffer_(kOutputBlockSize + kSlack) {}

  std::uint8_t* out = nullptr;

  std::uint8_t* begin() { return buffer_.data(); }
  const std::uint8_t* limit() const { return buffer_.data() + kOutputBlockSize; }

  void flushFull() {
    sink_.write({buffer_.data(), kOutputBlockSize});
    const std::size_t rest = static_cast<std::size_t>(out - limit());
    std::memmove(buffer_.data(), limit(), rest);
    out = buffer_.data() + rest;
  }
  void flushRest() {
    if (out != buffer_.data()) sink_.write({buffer_.data(), static_cast<std::size_t>(out - buffer_.data())});
    out = buffer_.data();
  }

 private:
  static constexpr std::size_t kSlack = Grammar::kShortSize + Grammar::kCopyChunk;
  ByteSink& sink_;
  std::vector<std::uint8_t> buffer_;
};

}  // namespace

void expandGrammar(const Grammar& grammar, ByteSink& sink) {
  BlockWriter writer(sink);
  std::uint8_t* out = writer.begin();
  const std::uint8_t* const limit = writer.limit();

  const std::uint32_t* const elements = grammar.elements.data();
  const std::uint32_t* const bodyStart = grammar.bodyStart.data();
  const std::uint8_t* const isRun = grammar.isRun.data();
  const Grammar::ShortRef* const shorts = grammar.shortRef.data();
  const std::uint8_t* const shortBytes = grammar.shortBytes.data();
  std::vector<Frame> stack;
  auto push = [&](std::uint32_t rule) {
    const std::uint32_t begin = bodyStart[rule];
    if (isRun[rule]) {
      stack.push_back({elements[begin], elements[begin] + elements[begin + 1], 1});
    } else {
      stack.push_back({begin, bodyStart[rule + 1], 0});
    }
  };
  // Writes a short rule at once; false for a rule that must be walked.
  auto copyShort = [&](std::uint32_t rule) {
    const Grammar::ShortRef ref = shorts[rule];
    if (ref.size == 0) return false;
    const std::uint8_t* from = shortBytes + ref.offset;
    for (std::uint32_t done = 0; done < ref.size; done += Grammar::kCopyChunk) {
      std::memcpy(out + done, from + done, Grammar::kCopyChunk);
    }
    out += ref.size;
    return true;
  };

  if (!copyShort(0)) push(0);
  while (!stack.empty()) {
    Frame& frame = stack.back();
    std::uint32_t i = frame.next;
    const std::uint32_t end = frame.end;
    std::uint32_t deeper = UINT32_MAX;
    if (frame.run) {
      while (i < end) {
        if (out >= limit) {
          writer.out = out;
          writer.flushFull();
          out = writer.out;
        }
        const std::uint32_t rule = i++;
        if (!copyShort(rule)) {
          deeper = rule;
          break;
        }
      }
    } else {
      while (i < end) {
        if (out >= limit) {
          writer.out = out;
          writer.flushFull();
          out = writer.out;
        }
        const std::uint32_t element = elements[i++];
        if (element < Grammar::kFirstRule) {
          *out++ = static_cast<std::uint8_t>(element);
        } else if (!copyShort(element - Grammar::kFirstRule)) {
          deeper = element - Grammar::kFirstRule;
          break;
        }
      }
    }
    if (deeper == UINT32_MAX) {
      stack.pop_back();
    } else {
      frame.next = i;
      push(deeper);  // may move the stack: `frame` is not used after this
    }
  }
  writer.out = out;
  while (writer.out >= limit) writer.flushFull();
  writer.flushRest();
}

}  // namespace quorlen
