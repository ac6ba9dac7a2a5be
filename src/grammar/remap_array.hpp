// A growable array of trivially copyable elements in pages of its own. It grows and
// shrinks with mremap, which moves pages rather than copying them, so a change of
// capacity never holds an old and a new block at once and a shrink returns the freed
// pages at once. Its slots are not zeroed: capacity never written costs no memory.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

namespace quorlen {

// Returns the whole pages within [begin, end) of memory this process owns to the
// system; they read as zero afterwards.
inline void releaseWholePages(const void* begin, const void* end) {
  constexpr std::uintptr_t kPage = 4096;
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(begin) + kPage - 1) / kPage * kPage;
  const std::uintptr_t last = reinterpret_cast<std::uintptr_t>(end) / kPage * kPage;
  if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

template <typename T>
class RemapArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  RemapArray() = default;
  RemapArray(const RemapArray&) = delete;
  RemapArray& operator=(const RemapArray&) = delete;
  ~RemapArray() {
    if (data_ != nullptr) munmap(data_, bytes(capacity_));
  }

  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T* data() { return data_; }
  std::size_t size() const { return size_; }
  std::size_t capacity() const { return capacity_; }
  bool empty() const { return size_ == 0; }

  // Room for exactly `capacity` elements (at least size()), rounded up to whole pages.
  void setCapacity(std::size_t capacity) {
    capacity = std::max(capacity, size_);
    if (bytes(capacity) == bytes(capacity_)) return;
    void* storage = data_ == nullptr ? mmap(nullptr, bytes(capacity), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                    : capacity == 0  ? (munmap(data_, bytes(capacity_)), nullptr)
                                     : mremap(data_, bytes(capacity_), bytes(capacity), MREMAP_MAYMOVE);
    if (storage == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<T*>(storage);
    capacity_ = storage == nullptr ? 0 : bytes(capacity) / sizeof(T);
  }
  void reserve(std::size_t capacity) {
    if (capacity > capacity_) setCapacity(capacity);
  }
  // New slots hold whatever the storage held: the caller writes them before reading.
  void resize(std::size_t size) {
    if (size > capacity_) reserve(std::max(size, capacity_ * 2));
    size_ = size;
  }
  // Returns the whole pages within elements [from, to) to the system; they read as
  // zero afterwards.
  void releasePages(std::size_t from, std::size_t to) {
    if (from < to && data_ != nullptr) releaseWholePages(data_ + from, data_ + std::min(to, capacity_));
  }
  void swap(RemapArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

 private:
  static std::size_t bytes(std::size_t elements) {
    constexpr std::size_t kPage = 4096;
    return (elements * sizeof(T) + kPage - 1) / kPage * kPage;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

}  // namespace quorlen
