#include "decoder/reader_walk.hpp"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace quorlen {
namespace {

constexpr std::uint32_t kStep = ReaderTables::kSampleStep;
constexpr std::uint32_t kPlaceMask = ReaderTables::kPlaceMask;

struct Frame {
  std::uint32_t next;  // index in bodies of the next element word
  std::uint32_t end;
};

// A walk over the grammar that writes restored bytes into `out` from a given offset on.
// It keeps the path from the start rule as a stack of frames, one per walked rule that
// still has children to come. The stack is a ring: a walk deeper than its capacity
// forgets the upper levels and, when it climbs back to them, descends afresh from the
// start rule to where it is.
class RangeWalk {
 public:
  RangeWalk(const ReaderTables& tables, Frame* frames, std::uint32_t capacity, std::uint8_t* out, std::size_t count)
      : tables_(tables), bodies_(tables.bodies.data()), frames_(frames), capacity_(capacity), out_(out),
        remaining_(count) {}

  // Each step takes the next word of the innermost rule: a byte is written, a short rule
  // copied from its place, a walked rule pushed. A level is popped as its last word is
  // taken, so that chains of last children do not grow the stack.
  void run(std::uint64_t offset) {
    const std::size_t total = remaining_;
    descend(offset);
    while (remaining_ != 0) {
      if (depth_ == 0) {
        if (!forgotten_) break;  // cannot happen: the start rule covers every offset
        descend(offset + (total - remaining_));
        continue;
      }
      Frame& frame = frames_[top_];
      const std::uint32_t word = bodies_[frame.next++];
      if (frame.next == frame.end) pop();
      if (word < Grammar::kFirstRule) {
        *out_++ = static_cast<std::uint8_t>(word);
        --remaining_;
      } else if (word & ReaderTables::kBodyTag) {
        const std::uint32_t begin = word & kPlaceMask;
        push({begin, begin + bodies_[begin - 1]});
      } else {
        copyShort(word, 0);
      }
    }
  }

 private:
  // Away from the end of `out`, copies move whole chunks of kCopyChunk bytes: a few
  // fixed-size moves instead of a call that sizes every copy. The overrun lands in the
  // part of `out` still to be written, and shortBytes carries the slack to read it.
  void copyShort(std::uint32_t word, std::uint32_t from) {
    const std::uint8_t* place = tables_.shortBytes.data() + (word & kPlaceMask);
    const std::size_t count = std::min<std::size_t>(place[0] - from, remaining_);
    place += 1 + from;
    if (remaining_ >= ReaderTables::kMaxShortSize + ReaderTables::kCopyChunk) {
      for (std::size_t done = 0; done < count; done += ReaderTables::kCopyChunk) {
        std::memcpy(out_ + done, place + done, ReaderTables::kCopyChunk);
      }
    } else {
      std::memcpy(out_, place, count);
    }
    out_ += count;
    remaining_ -= count;
  }

  // Rebuilds the path down to restored byte `offset` and writes the piece that starts
  // there: the rest of a short rule, or one byte. In each walked rule, a binary search
  // among the samples inside its body, then a scan of at most kStep sizes.
  void descend(std::uint64_t offset) {
    depth_ = 0;
    forgotten_ = false;
    auto position = static_cast<std::uint32_t>(offset);  // restored sizes stay below 2^31
    std::uint32_t word = tables_.root;
    const std::uint32_t* samples = tables_.bodySamples.data();
    while (word & ReaderTables::kBodyTag) {
      const std::uint32_t begin = word & kPlaceMask;
      const std::uint32_t end = begin + bodies_[begin - 1];
      std::uint32_t item = begin;
      std::uint32_t before = 0;  // restored bytes of the elements ahead of `item`
      if (end - begin > kStep) {
        std::uint32_t low = (begin + kStep - 1) / kStep;
        std::uint32_t high = (end - 1) / kStep;
        if (samples[low] <= position) {
          while (low < high) {
            const std::uint32_t middle = low + (high - low + 1) / 2;
            if (samples[middle] <= position) {
              low = middle;
            } else {
              high = middle - 1;
            }
          }
          item = low * kStep;
          before = samples[low];
        }
      }
      for (;;) {
        const std::uint32_t size = tables_.sizeOf(bodies_[item]);
        if (position < before + size) break;
        before += size;
        ++item;
      }
      position -= before;
      if (item + 1 != end) push({item + 1, end});
      word = bodies_[item];
    }
    if (word < Grammar::kFirstRule) {
      *out_++ = static_cast<std::uint8_t>(word);
      --remaining_;
    } else {
      copyShort(word, position);
    }
  }

  void push(const Frame& frame) {
    top_ = top_ + 1 == capacity_ ? 0 : top_ + 1;
    frames_[top_] = frame;
    if (depth_ == capacity_) {
      forgotten_ = true;  // the oldest level was overwritten
    } else {
      ++depth_;
    }
  }
  void pop() {
    top_ = top_ == 0 ? capacity_ - 1 : top_ - 1;
    --depth_;
  }

  const ReaderTables& tables_;
  const std::uint32_t* const bodies_;
  Frame* const frames_;
  const std::uint32_t capacity_;
  std::uint32_t top_ = 0;
  std::uint32_t depth_ = 0;
  bool forgotten_ = false;
  std::uint8_t* out_;
  std::size_t remaining_;
};

}  // namespace

std::size_t readRestored(const ReaderTables& tables, std::uint64_t offset, std::span<std::uint8_t> out) noexcept {
  return readRestoredKeeping(tables, offset, out, UINT32_MAX);
}

std::size_t readRestoredKeeping(const ReaderTables& tables, std::uint64_t offset, std::span<std::uint8_t> out,
                                std::uint32_t levelLimit) noexcept {
  if (offset >= tables.restoredSize || out.empty()) return 0;
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), tables.restoredSize - offset));
  Frame inlineFrames[kInlineDepth];
  Frame* frames = inlineFrames;
  std::uint32_t capacity = kInlineDepth;
  std::unique_ptr<Frame[]> deepFrames;
  if (tables.height > kInlineDepth) {
    deepFrames.reset(new (std::nothrow) Frame[tables.height]);
    if (deepFrames) {
      frames = deepFrames.get();
      capacity = tables.height;
    }
  }
  RangeWalk(tables, frames, std::clamp(levelLimit, 1u, capacity), out.data(), count).run(offset);
  return count;
}

}  // namespace quorlen
