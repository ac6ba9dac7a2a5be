// Restoring the bytes of a compressed stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "common/failure.hpp"
#include "decoder/bit_reader.hpp"
#include "decoder/byte_sink.hpp"
#include "decoder/grammar.hpp"

namespace quorlen {

// A whole restored output in anonymous memory of its own, returned to the system on
// destruction. The mapping may be much larger than the bytes: pages never written cost
// nothing.
class RestoredBytes {
 public:
  // Throws std::bad_alloc when the system refuses the mapping.
  explicit RestoredBytes(std::size_t capacity);
  ~RestoredBytes();
  RestoredBytes(RestoredBytes&& other) noexcept;
  RestoredBytes(const RestoredBytes&) = delete;
  RestoredBytes& operator=(const RestoredBytes&) = delete;
  RestoredBytes& operator=(RestoredBytes&&) = delete;

  std::span<std::uint8_t> capacity() { return {data_, capacity_}; }
  std::span<const std::uint8_t> bytes() const { return {data_, size_}; }
  void setSize(std::size_t size) { size_ = size; }
  // Hands the bytes to `sink` in blocks of at most 4 MiB.
  void sendTo(ByteSink& sink) const;

 private:
  std::uint8_t* data_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

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
  // Reads the stream and checks it as far as the parser does; the grammar's structure
  // (cycles, reachability, restored size) is checked by the first restoreWhole(), in the
  // same walk that restores it. Until then restoredSize() is unknown and is 0.
  struct CheckWhileRestoring {};
  Decompressor(ByteSource& source, CheckWhileRestoring);

  // Restores the whole output in memory. Returns nullopt when it is longer than `limit`
  // bytes: the stream is then checked in full and restoredSize() tells its size. Throws
  // Failure (corruptInput), with the reason the checking constructors give, for a grammar
  // they would refuse, and std::bad_alloc when memory runs out.
  std::optional<RestoredBytes> restoreWhole(std::uint64_t limit);

  // Restores to the sink that `open` returns, calling `open` once the whole stream is
  // known to be valid, before the first byte. An output of at most `limit` bytes is made
  // whole in memory, then sent. A larger one is made in about `limit` bytes (plus 1 MiB)
  // and streamed: for a stream read with CheckWhileRestoring, the walk that checks it goes
  // on from where the output outgrew the memory, after a check of the whole grammar, so
  // that nothing is made twice and no second buffer is taken. Throws as restoreWhole().
  void restoreTo(std::uint64_t limit, const std::function<ByteSink&()>& open);

  std::uint64_t restoredSize() const { return restoredSize_; }
  std::uint32_t ruleCount() const { return grammar_.ruleCount(); }

  // The following need a checked stream (any constructor but CheckWhileRestoring, or
  // after restoreWhole()).

  // The fast path: restores the whole output in memory of its own (restoredSize()
  // bytes more), then hands it to `sink` in blocks of at most 4 MiB.
  void restoreWholeTo(ByteSink& sink) const;

  // Bounded memory, for sinks such as pipes: hands the restored bytes to `sink` as
  // they are made, in blocks of at most 4 MiB, keeping 129 MiB of recent output.
  // Slower where the grammar refers back beyond that window.
  void restoreTo(ByteSink& sink) const;

  // The whole output as a vector.
  std::vector<std::uint8_t> restore() const;

 private:
  void parse(BitReader& in);
  void checkStructure();

  Grammar grammar_;
  std::uint64_t restoredSize_ = 0;
  bool checked_ = true;
};

// The whole round in memory: check, then restore.
std::vector<std::uint8_t> decompressBytes(std::span<const std::uint8_t> stream);

}  // namespace quorlen
