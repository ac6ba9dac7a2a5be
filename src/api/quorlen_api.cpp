// The public API over the encoder and decoder: exceptions become values here.
#include <new>
#include <stdexcept>

#include "decoder/decompress.hpp"
#include "encoder/compress.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

namespace {

Error outOfMemory() { return Error{ErrorKind::outOfMemory, "out of memory"}; }

}  // namespace

CompressResult compress(std::span<const std::uint8_t> input) noexcept {
  CompressResult result;
  try {
    result.stream = compressBytes(input, &result.wholeBytes);
  } catch (const InputTooLargeError&) {
    result.error = Error{ErrorKind::inputTooLarge, "input too large: it must be below 2147483136 bytes"};
  } catch (const std::bad_alloc&) {
    result.error = outOfMemory();
  } catch (const std::length_error&) {
    result.error = outOfMemory();
  }
  if (!result.ok()) {
    result.stream = {};
    result.wholeBytes = 0;
  }
  return result;
}

DecompressResult decompress(std::span<const std::uint8_t> stream) noexcept {
  DecompressResult result;
  try {
    result.bytes = decompressBytes(stream);
  } catch (const CorruptStreamError& error) {
    try {
      result.error = Error{ErrorKind::corruptInput, error.what()};
    } catch (const std::bad_alloc&) {
      result.error.kind = ErrorKind::corruptInput;
    }
  } catch (const std::bad_alloc&) {
    result.error = outOfMemory();
  } catch (const std::length_error&) {
    result.error = outOfMemory();
  }
  if (!result.ok()) result.bytes = {};
  return result;
}

}  // namespace quorlen
