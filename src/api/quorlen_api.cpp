// The public API over the encoder and decoder: exceptions become values here.
#include <charconv>
#include <new>
#include <stdexcept>

#include "api/error_value.hpp"
#include "bitio/write_error.hpp"
#include "decoder/decompress.hpp"
#include "encoder/compress.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

namespace {

constexpr const char* kOutOfMemory = "out of memory";

}  // namespace

CompressResult compress(std::span<const std::uint8_t> input) noexcept {
  CompressResult result;
  try {
    result.stream = compressBytes(input, &result.wholeBytes);
  } catch (const InputTooLargeError&) {
    char limit[24];
    const auto end = std::to_chars(limit, limit + sizeof limit, kMaxInputSize).ptr;
    result.error = errorValue(ErrorKind::inputTooLarge,
                              {"input too large: it must be below ", std::string_view(limit, end), " bytes"});
  } catch (const std::bad_alloc&) {
    result.error = errorValue(ErrorKind::outOfMemory, {kOutOfMemory});
  } catch (const std::length_error&) {
    result.error = errorValue(ErrorKind::outOfMemory, {kOutOfMemory});
  } catch (const WriteError&) {
    // The stream is written into memory: a byte it cannot take is memory running out.
    result.error = errorValue(ErrorKind::outOfMemory, {kOutOfMemory});
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
    result.error = errorValue(ErrorKind::corruptInput, {error.what()});
  } catch (const std::bad_alloc&) {
    result.error = errorValue(ErrorKind::outOfMemory, {kOutOfMemory});
  } catch (const std::length_error&) {
    result.error = errorValue(ErrorKind::outOfMemory, {kOutOfMemory});
  }
  if (!result.ok()) result.bytes = {};
  return result;
}

}  // namespace quorlen
