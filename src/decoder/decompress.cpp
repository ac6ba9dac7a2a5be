#include "decoder/decompress.hpp"

#include <sys/mman.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <cstdint>
#include <new>
#include <utility>

#include "common/huge_pages.hpp"
#include "decoder/expander.hpp"
#include "decoder/grammar_check.hpp"
#include "decoder/stream_parser.hpp"
#include "encoder/release_storage.hpp"

namespace quorlen {

RestoredBytes::RestoredBytes(std::size_t capacity) : capacity_(capacity) {
  // MAP_NORESERVE: a reservation of the largest restorable size is mostly never touched.
  // The output starts on a huge page, so that none of it falls in small pages before the
  // first huge one: where the system placed the mapping 1 MiB past one, so8 (8 MiB)
  // took 2 ms more of CPU, 4% (61 pairs).
  void* memory =
      mmap(nullptr, capacity + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (memory == MAP_FAILED) throw std::bad_alloc();
  const auto address = reinterpret_cast<std::uintptr_t>(memory);
  const std::uintptr_t aligned = (address + kHugePage - 1) & ~(kHugePage - 1);
  if (aligned != address) munmap(memory, aligned - address);
  // munmap works in whole small pages: keep the one the output's room ends in.
  const auto smallPage = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  const std::uintptr_t keptEnd = (aligned + capacity_ + smallPage - 1) & ~(smallPage - 1);
  const std::uintptr_t mappedEnd = (address + capacity_ + kHugePage + smallPage - 1) & ~(smallPage - 1);
  if (mappedEnd > keptEnd) munmap(reinterpret_cast<void*>(keptEnd), mappedEnd - keptEnd);
  data_ = reinterpret_cast<std::uint8_t*>(aligned);
  preferHugePages(data_, capacity_);
}

RestoredBytes::~RestoredBytes() {
  if (data_ != nullptr) munmap(data_, capacity_);
}

RestoredBytes::RestoredBytes(RestoredBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), capacity_(other.capacity_), size_(other.size_) {}

void RestoredBytes::sendTo(ByteSink& sink) const {
  const std::span<const std::uint8_t> restored = bytes();
  constexpr std::size_t kBlock = std::size_t{4} << 20;
  for (std::size_t done = 0; done < restored.size(); done += kBlock) {
    sink.write(restored.subspan(done, std::min(kBlock, restored.size() - done)));
  }
}

Decompressor::Decompressor(std::span<const std::uint8_t> stream) {
  if (stream.empty()) return;
  BitReader in(stream);
  parse(in);
  checkStructure();
}

Decompressor::Decompressor(ByteSource& source) {
  BitReader in(source);
  in.refill();
  if (in.available() == 0) return;  // an empty stream
  parse(in);
  checkStructure();
}

Decompressor::Decompressor(ByteSource& source, CheckWhileRestoring) {
  BitReader in(source);
  in.refill();
  if (in.available() == 0) return;  // an empty stream
  parse(in);
  checkRunRanges(grammar_);
  checked_ = false;
}

void Decompressor::parse(BitReader& in) {
  grammar_ = parseStream(in);
#ifdef __GLIBC__
  // The parser's working tables, freed by now, would otherwise stay in the heap beside
  // the grammar while it is expanded: 13 MB on h64, 1.3 bytes per stream byte.
  malloc_trim(0);
#endif
}

void Decompressor::checkStructure() {
  checkGrammar(grammar_);
  restoredSize_ = grammar_.expandedSize[0];
  releaseStorage(grammar_.expandedSize);  // the expansion notes sizes as it goes
  checked_ = true;
}

namespace {

// The room a walk that checks as it restores needs for an output of at most `limit`
// bytes: one byte more, so that reaching it tells an output too large.
std::size_t checkingRoom(std::uint64_t limit) {
  return static_cast<std::size_t>(std::min(limit, kMaxRestoredSize - 1) + 1);
}

// A reservation of `bytes`, or none where the system refuses it: the caller then leaves
// the work to checkGrammar, which needs far less.
std::optional<RestoredBytes> tryReserve(std::size_t bytes) {
  try {
    return RestoredBytes(bytes);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

}  // namespace

std::optional<RestoredBytes> Decompressor::restoreWhole(std::uint64_t limit) {
  if (!checked_) {
    // One walk checks and restores, into a reservation as large as the output may be.
    // A reservation the system refuses, or a fault, leaves the work to checkGrammar:
    // it names the fault, or tells the size.
    std::optional<RestoredBytes> memory = tryReserve(checkingRoom(limit) + kExpansionSlack);
    if (memory) {
      if (const std::optional<std::uint64_t> size = expandChecking(grammar_, memory->capacity())) {
        memory->setSize(static_cast<std::size_t>(*size));
        restoredSize_ = *size;
        checked_ = true;
        return memory;
      }
      memory.reset();
    }
    checkStructure();
  }
  if (restoredSize_ > limit) return std::nullopt;
  RestoredBytes memory(static_cast<std::size_t>(restoredSize_ + kExpansionSlack));
  if (restoredSize_ != 0) expandWhole(grammar_, memory.capacity());
  memory.setSize(static_cast<std::size_t>(restoredSize_));
  return memory;
}

void Decompressor::restoreTo(std::uint64_t limit, const std::function<ByteSink&()>& open) {
  if (!checked_) {
    const StreamingLimits limits;
    std::optional<RestoredBytes> memory = tryReserve(checkingRoom(limit) + limits.maxCopy + kExpansionSlack);
    if (memory) {
      const std::function<ByteSink&()> checkAndOpen = [&]() -> ByteSink& {
        checkStructure();
        return open();
      };
      if (const auto done = expandCheckingOrStreaming(grammar_, memory->capacity(), limits, checkAndOpen)) {
        restoredSize_ = done->size;
        checked_ = true;
        if (!done->streamed) {
          memory->setSize(static_cast<std::size_t>(done->size));
          memory->sendTo(open());
        }
        return;
      }
      memory.reset();
    }
    // A reservation the system refuses, or a fault: checkGrammar names the fault, or
    // tells the size.
    checkStructure();
  }
  ByteSink& sink = open();
  if (restoredSize_ <= limit) {
    restoreWholeTo(sink);
  } else {
    restoreTo(sink);
  }
}

void Decompressor::restoreWholeTo(ByteSink& sink) const {
  if (restoredSize_ == 0) return;
  RestoredBytes memory(restoredSize_ + kExpansionSlack);
  expandWhole(grammar_, memory.capacity());
  memory.setSize(restoredSize_);
  memory.sendTo(sink);
}

void Decompressor::restoreTo(ByteSink& sink) const {
  if (restoredSize_ != 0) expandStreaming(grammar_, sink);
}

std::vector<std::uint8_t> Decompressor::restore() const {
  std::vector<std::uint8_t> bytes;
  if (restoredSize_ == 0) return bytes;
  bytes.reserve(restoredSize_ + kExpansionSlack);
  preferHugePages(bytes.data(), bytes.capacity());
  bytes.resize(restoredSize_ + kExpansionSlack);
  expandWhole(grammar_, bytes);
  bytes.resize(restoredSize_);
  return bytes;
}

std::vector<std::uint8_t> decompressBytes(std::span<const std::uint8_t> stream) {
  return Decompressor(stream).restore();
}

}  // namespace quorlen
