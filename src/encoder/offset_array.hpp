// A growable array indexed by any signed 32-bit integer. Touching an index, for
// reading or writing, widens the window [low, low + count) to include it; every
// element never written reads as the element type's zero value.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>

namespace quorlen {

template <typename T>
class OffsetArray {
 public:
  OffsetArray() = default;
  OffsetArray(const OffsetArray&) = delete;
  OffsetArray& operator=(const OffsetArray&) = delete;
  OffsetArray(OffsetArray&&) noexcept = default;
  OffsetArray& operator=(OffsetArray&&) noexcept = default;

  // The element at index i, after widening the window to include it. The reference
  // stays valid only until the next access to this array.
  T& at(std::int32_t i) {
    ensure(i);
    return data_[static_cast<std::size_t>(std::int64_t{i} - low_)];
  }

  void ensure(std::int32_t i) {
    if (count_ == 0) low_ = i;
    if (i < low_) {
      const std::int64_t d = std::int64_t{low_} - i;
      std::int64_t capacity = capacity_;
      while (count_ + d >= capacity) capacity = capacity == 0 ? 1 : capacity * 2;
      regrow(capacity, d);
      count_ = static_cast<std::int32_t>(count_ + d);
      low_ = i;
    } else if (std::int64_t{i} - low_ >= capacity_) {
      std::int64_t capacity = capacity_;
      while (capacity <= std::int64_t{i} - low_) capacity = capacity == 0 ? 1 : capacity * 2;
      regrow(capacity, 0);
    }
    const std::int64_t reach = std::int64_t{i} - low_ + 1;
    if (count_ < reach) count_ = static_cast<std::int32_t>(reach);
  }

  // The elements of the window, for loops that have already widened it.
  std::span<T> window() { return {data_.get(), static_cast<std::size_t>(count_)}; }

  std::int32_t low() const { return low_; }
  std::int32_t count() const { return count_; }
  std::int32_t capacity() const { return capacity_; }

  void clear() {
    data_.reset();
    low_ = count_ = capacity_ = 0;
  }

 private:
  // New zero-filled storage of `capacity` elements, with the old elements moved `shift` slots up.
  void regrow(std::int64_t capacity, std::int64_t shift) {
    auto storage = std::make_unique<T[]>(static_cast<std::size_t>(capacity));
    for (std::int32_t k = 0; k < count_; ++k) {
      storage[static_cast<std::size_t>(k + shift)] = std::move(data_[static_cast<std::size_t>(k)]);
    }
    data_ = std::move(storage);
    capacity_ = static_cast<std::int32_t>(capacity);
  }

  std::unique_ptr<T[]> data_;
  std::int32_t low_ = 0;
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
};

}  // namespace quorlen
