// Restoring the bytes of a compressed stream.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/failure.hpp"
#include "decoder/bit_reader.hpp"
#include "decoder/byte_sink.hpp"
#include "decoder/grammar.hpp"

namespace quorlen {

// A stream that has been read and checked in full, ready to be restored. All checking
// happens in the constructor, so a caller can refuse a corrupt stream before it creates
// any output. Memory: a small multiple of the stream's size.
class Decompressor {
 public:
  // Throws Failure (corruptInput) for an invalid stream, std::bad_alloc when memory runs out.
  // An empty stream is valid and restores to nothing.
  explicit Decompressor(std::span<const std::uint8_t> stream);
  // The same for a stream read as it arrives: only the grammar is kept, never the stream,
  // and a stream that cannot be valid is refused as soon as that shows.
  explicit Decompressor(ByteSource& source);

  std::uint64_t restoredSize() const { return restoredSize_; }
  std::uint32_t ruleCount() const { return grammar_.ruleCount(); }

  // The fast path: restores the whole output in memory of its own (restoredSize()
  // bytes more), then hands it to `sink` in blocks of at most 4 MiB.
  void restoreWholeTo(ByteSink& sink) const;

  // Bounded memory, for sinks such as pipes: hands the restored bytes to `sink` as
  // they are made, in blocks of at most 4 MiB, keeping about 9 MiB of recent output.
  // Slower where the grammar refers back beyond that window.
  void restoreTo(ByteSink& sink) const;

  // The whole output as a vector.
  std::vector<std::uint8_t> restore() const;

 private:
  void check(BitReader& in);

  Grammar grammar_;
  std::uint64_t restoredSize_ = 0;
};

// The whole round in memory: check, then restore.
std::vector<std::uint8_t> decompressBytes(std::span<const std::uint8_t> stream);

}  // namespace quorlen
