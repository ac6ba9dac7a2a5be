// A prefetch that the compiler keeps. GCC 12 judges a function whose only effects are
// __builtin_prefetch calls to have no effect at all and deletes the calls to it (seen
// in the disassembly of the pair replacer's look-ahead helpers); an asm statement is
// an effect it must keep.
#pragma once

namespace quorlen {

inline void prefetch(const void* address) {
#if defined(__x86_64__) || defined(__i386__)
  asm volatile("prefetcht0 %0" : : "m"(*static_cast<const char*>(address)));
#else
  __builtin_prefetch(address);
#endif
}

}  // namespace quorlen
