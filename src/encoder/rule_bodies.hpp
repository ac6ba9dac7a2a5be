// The bodies of all rules in one block of symbols. A body is written whole at the
// end of the block before the next one starts, and each rule records where its body
// starts; a rule may also take a stretch of another rule's body as its own, in place.
// A vector per body cost a header and a heap block per rule, and a copy per stretch
// rule: on 64 MiB of random bytes (2.6 M kept rules, 2.2 M stretch rules) the process
// held 528 MiB after run restructuring that way, 312 MiB with one block.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <span>

#include "encoder/offset_array.hpp"

namespace quorlen {

class RuleBodies {
 public:
  // Starts rule `rule`'s body at the end of the block; append() then writes it.
  void begin(std::int32_t rule) { start_.at(rule) = size_; }

  void append(std::int32_t symbol) {
    if (size_ == capacity_) grow();
    symbols_.get()[size_++] = symbol;
  }

  // Makes rule `rule`'s body the symbols from place `place` of the block on.
  void share(std::int32_t rule, std::int64_t place) { start_.at(rule) = place; }

  std::int64_t startOf(std::int32_t rule) { return start_.at(rule); }
  std::int32_t symbolAt(std::int64_t place) const { return symbols_.get()[place]; }
  std::int64_t size() const { return size_; }

  // The `length` symbols from rule `rule`'s start. Valid until the next append.
  std::span<std::int32_t> symbols(std::int32_t rule, std::int32_t length) {
    return {symbols_.get() + start_.at(rule), static_cast<std::size_t>(length)};
  }

  void clear() {
    start_.clear();
    symbols_.reset();
    size_ = capacity_ = 0;
  }

 private:
  // Doubles with realloc, which moves a large block by remapping its pages: no copy is
  // made, and the untouched upper half costs no memory.
  void grow() {
    const std::int64_t capacity = capacity_ == 0 ? 1024 : capacity_ * 2;
    void* block = std::realloc(symbols_.get(), static_cast<std::size_t>(capacity) * sizeof(std::int32_t));
    if (block == nullptr) throw std::bad_alloc();
    (void)symbols_.release();
    symbols_.reset(static_cast<std::int32_t*>(block));
    capacity_ = capacity;
  }

  struct Free {
    void operator()(std::int32_t* block) const { std::free(block); }
  };

  OffsetArray<std::int64_t> start_;
  std::unique_ptr<std::int32_t, Free> symbols_;
  std::int64_t size_ = 0;
  std::int64_t capacity_ = 0;
};

}  // namespace quorlen
