// What the fuzz targets check on one input, shared with the test that replays their
// corpora. Each returns an empty string when the input passes, else the fault.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <utility>

#include "decoder/decompress.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen::fuzz {

// Arbitrary bytes as a compressed stream: the decoder may refuse them but must never
// crash, leak or hang, and an accepted stream must restore to its announced size.
inline std::string decodeFault(std::span<const std::uint8_t> stream) {
  class CountingSink final : public ByteSink {
   public:
    void write(std::span<const std::uint8_t> bytes) override { count += bytes.size(); }
    std::uint64_t count = 0;
  };
  // Valid streams of a few kilobytes can stand for up to 2 GiB; restoring those would
  // only test patience.
  constexpr std::uint64_t kMaxRestore = std::uint64_t{64} << 20;
  std::string checkedFirst = "accepted";
  std::uint64_t restoredSize = 0;
  try {
    const Decompressor decompressor(stream);
    restoredSize = decompressor.restoredSize();
    if (decompressor.restoredSize() <= kMaxRestore) {
      CountingSink sink;
      decompressor.restoreTo(sink);
      if (sink.count != decompressor.restoredSize()) return "restored size differs from the announced size";
    }
  } catch (const Failure& error) {
    checkedFirst = error.what();
  }
  // The restore that checks the grammar in its own walk must give the same verdict.
  class WholeSource final : public ByteSource {
   public:
    explicit WholeSource(std::span<const std::uint8_t> bytes) : bytes_(bytes), size_(bytes.size()) {}
    std::span<const std::uint8_t> next() override { return std::exchange(bytes_, {}); }
    std::optional<std::uint64_t> size() const override { return size_; }

   private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t size_;
  };
  std::string checkedWhileRestoring = "accepted";
  try {
    WholeSource source(stream);
    Decompressor decompressor(source, Decompressor::CheckWhileRestoring{});
    const std::optional<RestoredBytes> whole = decompressor.restoreWhole(kMaxRestore);
    if (whole ? whole->bytes().size() != restoredSize : decompressor.restoredSize() != restoredSize) {
      return "the checking restore differs in size";
    }
  } catch (const Failure& error) {
    checkedWhileRestoring = error.what();
  }
  if (checkedWhileRestoring != checkedFirst) return "verdicts differ: " + checkedFirst + " / " + checkedWhileRestoring;
  // So must the restore that outgrows a small memory and streams on from its walk; it
  // opens the output only for a valid stream.
  if (checkedFirst != "accepted" || restoredSize <= kMaxRestore) {
    std::string streamedOn = "accepted";
    CountingSink sink;
    bool opened = false;
    try {
      WholeSource source(stream);
      Decompressor decompressor(source, Decompressor::CheckWhileRestoring{});
      decompressor.restoreTo(4096, [&]() -> ByteSink& {
        opened = true;
        return sink;
      });
      if (sink.count != restoredSize) return "the streaming restore differs in size";
    } catch (const Failure& error) {
      streamedOn = error.what();
      if (opened) return "a refused stream opened its output";
    }
    if (streamedOn != checkedFirst) return "verdicts differ: " + checkedFirst + " / " + streamedOn;
  }
  return {};
}

// Arbitrary bytes through the public compress() and decompress(): any failure or
// difference is a fault.
inline std::string roundTripFault(std::span<const std::uint8_t> input) {
  const CompressResult compressed = compress(input);
  if (!compressed.ok()) return "compress failed: " + compressed.error.message;
  const DecompressResult restored = decompress(compressed.stream);
  if (!restored.ok()) return "compressor output refused: " + restored.error.message;
  if (!std::ranges::equal(restored.bytes, input)) return "round trip mismatch";
  return {};
}

}  // namespace quorlen::fuzz
