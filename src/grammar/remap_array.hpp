// A growable array of trivially copyable elements in pages of its own. It grows and
// shrinks with mremap, which moves pages rather than copying them, so a change of
// capacity never holds an old and a new block at once and a shrink returns the freed
// pages at once. Its slots are not zeroed: capacity never written costs no memory.
//
// An array given a reservation (reserveHugeRange) instead keeps one address range,
// never moved, and uses transparent huge pages there: a mremap to an address not on a
// huge page, a shrink that ends inside one, or a return of a few small pages of one
// splits the huge pages, and the kernel copies them back together later. Within the
// reservation a change of capacity is bookkeeping plus returns of whole huge pages.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>
#include <utility>

#include "common/huge_pages.hpp"

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
    if (data_ != nullptr) munmap(data_, reserved_ > 0 ? reserved_ : bytes(capacity_));
  }

  // Before the first use: reserves address space for `elements` elements, in huge
  // pages, without committing memory (MAP_NORESERVE). Returns false, and the array
  // stays in plain pages, when the system refuses the reservation. Growth past the
  // reservation leaves it: the array moves into plain pages then.
  bool reserveHugeRange(std::size_t elements) {
    if (data_ != nullptr || elements == 0 || elements > (std::size_t{1} << 50) / sizeof(T)) return false;
    const std::size_t length = (bytes(elements) + kHugePage - 1) & ~(kHugePage - 1);
    void* memory = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (memory == MAP_FAILED) return false;
    const auto address = reinterpret_cast<std::uintptr_t>(memory);
    const std::uintptr_t aligned = (address + kHugePage - 1) & ~(kHugePage - 1);
    if (aligned != address) munmap(memory, aligned - address);
    if (aligned + length < address + length + kHugePage) {
      munmap(reinterpret_cast<void*>(aligned + length), address + length + kHugePage - aligned - length);
    }
    data_ = reinterpret_cast<T*>(aligned);
    reserved_ = length;
    return true;
  }
  bool inHugeRange() const { return reserved_ > 0; }

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
    if (reserved_ > 0 && bytes(capacity) <= reserved_) {
      setReservedCapacity(capacity);
      return;
    }
    if (reserved_ > 0) leaveReservation();
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
    if (size > capacity_) {
      std::size_t grown = std::max(size, capacity_ * 2);
      // Doubling stops at the reservation's end while the size still fits in it.
      if (reserved_ > 0 && size <= reserved_ / sizeof(T)) grown = std::min(grown, reserved_ / sizeof(T));
      reserve(grown);
    }
    size_ = size;
  }
  // Returns the whole pages within elements [from, to) to the system; they read as
  // zero afterwards.
  void releasePages(std::size_t from, std::size_t to) {
    if (from >= to || data_ == nullptr) return;
    to = std::min(to, capacity_);
    if (reserved_ == 0) return releaseWholePages(data_ + from, data_ + to);
    std::size_t begin = byteOffset(from);
    std::size_t end = byteOffset(to);
    // Within the huge pages only whole ones go back; past them, small pages.
    if (begin < hugeUpTo_) begin = hugeUp(begin);
    if (end < hugeUpTo_) end &= ~(kHugePage - 1);
    if (begin < end) releaseWholePages(base() + begin, base() + end);
  }
  void swap(RemapArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(reserved_, other.reserved_);
    std::swap(hugeUpTo_, other.hugeUpTo_);
  }

 private:
  static std::size_t hugeUp(std::size_t n) { return (n + kHugePage - 1) & ~(kHugePage - 1); }
  std::size_t byteOffset(std::size_t elements) const { return elements * sizeof(T); }
  char* base() const { return reinterpret_cast<char*>(data_); }

  // Growth marks the range up to the new end for huge pages: from the last whole huge
  // page on only when 3/4 of the one past it is in use (hugeMappingLength), so that the
  // end of a small array does not hold a huge page it barely uses. A shrink returns
  // the huge pages wholly past the new end and the small pages past it beyond the
  // marked range; the mark stays, for the regrowth.
  void setReservedCapacity(std::size_t capacity) {
    const std::size_t newBytes = bytes(capacity);
    const std::size_t oldBytes = bytes(capacity_);
    if (newBytes > oldBytes) {
      const std::size_t marked = std::min(reserved_, newBytes - newBytes % kHugePage +
                                                        (hugeMappingLength(newBytes) > newBytes ? kHugePage : 0));
      if (marked > hugeUpTo_) {
#ifdef MADV_HUGEPAGE
        madvise(base() + hugeUpTo_, marked - hugeUpTo_, MADV_HUGEPAGE);
#endif
        hugeUpTo_ = marked;
      }
    } else {
      const std::size_t from = newBytes < hugeUpTo_ ? hugeUp(newBytes) : newBytes;
      if (from < oldBytes) madvise(base() + from, hugeUp(oldBytes) - from, MADV_DONTNEED);
    }
    capacity_ = newBytes / sizeof(T);
  }
  // Past the reservation: the pages become a plain mapping of the array's capacity.
  void leaveReservation() {
    if (bytes(capacity_) < reserved_) munmap(base() + bytes(capacity_), reserved_ - bytes(capacity_));
    reserved_ = 0;
    hugeUpTo_ = 0;
    if (capacity_ == 0) data_ = nullptr;
  }

  static std::size_t bytes(std::size_t elements) {
    constexpr std::size_t kPage = 4096;
    return (elements * sizeof(T) + kPage - 1) / kPage * kPage;
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t reserved_ = 0;   // bytes of the reservation; 0 for none
  std::size_t hugeUpTo_ = 0;   // bytes from data_ marked for huge pages
};

}  // namespace quorlen
