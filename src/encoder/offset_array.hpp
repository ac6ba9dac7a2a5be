// A growable array indexed by any signed 32-bit integer. Touching an index, for
// reading or writing, widens the window [low, low + count) to include it; every
// element never written reads as the element type's zero value.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <type_traits>
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
      growDown(capacity, d);
      count_ = static_cast<std::int32_t>(count_ + d);
      low_ = i;
    } else if (std::int64_t{i} - low_ >= capacity_) {
      std::int64_t capacity = capacity_;
      while (capacity <= std::int64_t{i} - low_) capacity = capacity == 0 ? 1 : capacity * 2;
      growUp(capacity);
    }
    const std::int64_t reach = std::int64_t{i} - low_ + 1;
    if (count_ < reach) {
      if constexpr (kTrivial) {
        std::memset(static_cast<void*>(data_.get() + count_), 0, static_cast<std::size_t>(reach - count_) * sizeof(T));
      }
      count_ = static_cast<std::int32_t>(reach);
    }
  }

  // The elements of the window, for loops that have already widened it.
  std::span<T> window() { return {data_.get(), static_cast<std::size_t>(count_)}; }

  // The window after widening it to include [first, last] (no widening when last <
  // first): read as a plain span, the elements cost no window test each.
  std::span<T> cover(std::int32_t first, std::int32_t last) {
    if (first <= last) {
      ensure(first);
      ensure(last);
    }
    return window();
  }

  std::int32_t low() const { return low_; }
  std::int32_t count() const { return count_; }
  std::int32_t capacity() const { return capacity_; }

  void clear() {
    data_.reset();
    low_ = count_ = capacity_ = 0;
  }

 private:
  // Elements of a trivial type (the int and flag tables) live in malloc'd storage
  // that grows with realloc, which moves a large block by remapping its pages, not by
  // copying them, and their slots are zeroed only as they enter the window: the
  // untouched upper part of a doubled capacity then costs no memory. Other elements
  // are constructed as zero values in the whole storage and moved on growth.
  static constexpr bool kTrivial = std::is_trivially_copyable_v<T> && std::is_trivially_default_constructible_v<T>;

  struct Release {
    void operator()(T* storage) const {
      if constexpr (kTrivial) {
        std::free(storage);
      } else {
        delete[] storage;
      }
    }
  };

  static T* allocateTrivial(void* old, std::int64_t capacity) {
    void* storage = std::realloc(old, static_cast<std::size_t>(capacity) * sizeof(T));
    if (storage == nullptr) throw std::bad_alloc();
    return static_cast<T*>(storage);
  }

  // Room for `capacity` elements, the old ones at the same slots.
  void growUp(std::int64_t capacity) {
    if constexpr (kTrivial) {
      T* storage = allocateTrivial(data_.get(), capacity);
      (void)data_.release();  // realloc has taken the old block over
      data_.reset(storage);
    } else {
      regrow(capacity, 0);
    }
    capacity_ = static_cast<std::int32_t>(capacity);
  }

  // Room for `capacity` elements, the old ones `shift` slots up and zeros below them.
  void growDown(std::int64_t capacity, std::int64_t shift) {
    if constexpr (kTrivial) {
      T* storage = allocateTrivial(nullptr, capacity);
      std::memset(static_cast<void*>(storage), 0, static_cast<std::size_t>(shift) * sizeof(T));
      if (count_ > 0) {
        std::memcpy(static_cast<void*>(storage + shift), data_.get(), static_cast<std::size_t>(count_) * sizeof(T));
      }
      data_.reset(storage);
    } else {
      regrow(capacity, shift);
    }
    capacity_ = static_cast<std::int32_t>(capacity);
  }

  void regrow(std::int64_t capacity, std::int64_t shift) {
    std::unique_ptr<T[], Release> storage(new T[static_cast<std::size_t>(capacity)]());
    for (std::int32_t k = 0; k < count_; ++k) {
      storage[static_cast<std::size_t>(k + shift)] = std::move(data_[static_cast<std::size_t>(k)]);
    }
    data_ = std::move(storage);
  }

  std::unique_ptr<T[], Release> data_;
  std::int32_t low_ = 0;
  std::int32_t count_ = 0;
  std::int32_t capacity_ = 0;
};

}  // namespace quorlen
