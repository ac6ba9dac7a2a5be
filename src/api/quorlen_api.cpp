// The public API over the encoder and decoder: failures become values here.
#include "api/error_value.hpp"
#include "decoder/decompress.hpp"
#include "encoder/compress.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

CompressResult compress(std::span<const std::uint8_t> input) noexcept {
  CompressResult result;
  try {
    result.stream = compressBytes(input, &result.wholeBytes);
    return result;
  } catch (...) {
    result.error = caughtError(Framing::inMemory);
  }
  result.stream = {};
  result.wholeBytes = 0;
  return result;
}

DecompressResult decompress(std::span<const std::uint8_t> stream) noexcept {
  DecompressResult result;
  try {
    result.bytes = decompressBytes(stream);
    return result;
  } catch (...) {
    result.error = caughtError(Framing::inMemory);
  }
  result.bytes = {};
  return result;
}

}  // namespace quorlen
