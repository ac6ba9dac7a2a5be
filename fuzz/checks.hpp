// What the fuzz targets check on one input, shared with the test that replays their
// corpora. Each returns an empty string when the input passes, else the fault.
#pragma once

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>

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
  try {
    const Decompressor decompressor(stream);
    if (decompressor.restoredSize() <= kMaxRestore) {
      CountingSink sink;
      decompressor.restoreTo(sink);
      if (sink.count != decompressor.restoredSize()) return "restored size differs from the announced size";
    }
  } catch (const Failure&) {
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
