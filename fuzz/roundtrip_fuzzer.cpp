// Arbitrary bytes through the public compress() and decompress(): any failure or
// difference aborts.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "quorlen/quorlen.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const quorlen::CompressResult compressed = quorlen::compress(input);
  if (!compressed.ok()) {
    std::fprintf(stderr, "compress failed: %s\n", compressed.error.message.c_str());
    std::abort();
  }
  const quorlen::DecompressResult restored = quorlen::decompress(compressed.stream);
  if (!restored.ok()) {
    std::fprintf(stderr, "compressor output refused: %s\n", restored.error.message.c_str());
    std::abort();
  }
  if (restored.bytes.size() != size || !std::equal(restored.bytes.begin(), restored.bytes.end(), data)) {
    std::fprintf(stderr, "round trip mismatch\n");
    std::abort();
  }
  return 0;
}
