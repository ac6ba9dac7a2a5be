#include "decoder/decompress.hpp"

#include <sys/mman.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <algorithm>
#include <new>

#include "decoder/expander.hpp"
#include "decoder/grammar_check.hpp"
#include "decoder/huge_pages.hpp"
#include "decoder/stream_parser.hpp"
#include "encoder/release_storage.hpp"

namespace quorlen {
namespace {

// Anonymous memory for one whole output, returned to the system on destruction.
class OutputMemory {
 public:
  explicit OutputMemory(std::size_t size) : size_(size) {
    void* memory = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
    data_ = static_cast<std::uint8_t*>(memory);
    preferHugePages(data_, size_);
  }
  ~OutputMemory() { munmap(data_, size_); }
  OutputMemory(const OutputMemory&) = delete;
  OutputMemory& operator=(const OutputMemory&) = delete;

  std::span<std::uint8_t> bytes() { return {data_, size_}; }

 private:
  std::uint8_t* data_;
  std::size_t size_;
};

}  // namespace

Decompressor::Decompressor(std::span<const std::uint8_t> stream) {
  if (stream.empty()) return;
  BitReader in(stream);
  check(in);
}

Decompressor::Decompressor(ByteSource& source) {
  BitReader in(source);
  in.refill();
  if (in.available() == 0) return;  // an empty stream
  check(in);
}

void Decompressor::check(BitReader& in) {
  grammar_ = parseStream(in);
  checkGrammar(grammar_);
  restoredSize_ = grammar_.expandedSize[0];
  releaseStorage(grammar_.expandedSize);  // the expansion notes sizes as it goes
#ifdef __GLIBC__
  // The parser's and checker's working tables, freed by now, would otherwise stay in the
  // heap beside the grammar while it is expanded: 13 MB on h64, 1.3 bytes per stream byte.
  malloc_trim(0);
#endif
}

void Decompressor::restoreWholeTo(ByteSink& sink) const {
  if (restoredSize_ == 0) return;
  OutputMemory memory(restoredSize_ + kExpansionSlack);
  expandWhole(grammar_, memory.bytes());
  const std::span<const std::uint8_t> restored = memory.bytes().first(restoredSize_);
  constexpr std::size_t kBlock = std::size_t{4} << 20;
  for (std::size_t done = 0; done < restored.size(); done += kBlock) {
    sink.write(restored.subspan(done, std::min(kBlock, restored.size() - done)));
  }
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
