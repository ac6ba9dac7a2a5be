// Arbitrary bytes through the compressor and back: any difference aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

#include "decoder/decompress.hpp"
#include "encoder/compress.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const std::vector<std::uint8_t> stream = quorlen::compressBytes(input);
  std::vector<std::uint8_t> restored;
  try {
    restored = quorlen::decompressBytes(stream);
  } catch (const quorlen::CorruptStreamError& error) {
    std::fprintf(stderr, "compressor output refused: %s\n", error.what());
    std::abort();
  }
  if (restored.size() != size || !std::equal(restored.begin(), restored.end(), data)) {
    std::fprintf(stderr, "round trip mismatch\n");
    std::abort();
  }
  return 0;
}
