// A hint for large, freshly allocated arrays.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>

namespace quorlen {

// Asks for transparent huge pages over the 2 MiB-aligned interior of memory not yet
// touched: one page fault per 2 MiB instead of one per 4 KiB, and fewer TLB misses for
// random reads. On the virtual machine measured, page faults were a quarter of the
// parse of h64, and the expansion reading back from anywhere in a 64 MiB output took
// 0.52 s with huge pages against 1.38 s without (a loaded machine). Only a hint: the
// kernel may ignore it.
inline void preferHugePages(void* memory, std::size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHuge = std::uintptr_t{1} << 21;
  const auto address = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t begin = (address + kHuge - 1) & ~(kHuge - 1);
  const std::uintptr_t end = (address + size) & ~(kHuge - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)memory;
  (void)size;
#endif
}

}  // namespace quorlen
