// The C interface (quorlen.h): thin wrappers over the C++ API, which already reports
// every failure as a value, so nothing here can throw across the C boundary.
#include "quorlen/quorlen.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <vector>

#include "quorlen/quorlen.hpp"

struct quorlen_reader {
  quorlen::Reader reader;
};

namespace {

quorlen_status statusOf(quorlen::ErrorKind kind) {
  switch (kind) {
    case quorlen::ErrorKind::none:
      return QUORLEN_OK;
    case quorlen::ErrorKind::inputTooLarge:
      return QUORLEN_INPUT_TOO_LARGE;
    case quorlen::ErrorKind::corruptInput:
      return QUORLEN_CORRUPT_INPUT;
    default:  // the in-memory functions report no other kind
      return QUORLEN_OUT_OF_MEMORY;
  }
}

// The caller's bytes; only NULL with a nonzero size is refused.
bool validInput(const void* in, size_t in_size) { return in != nullptr || in_size == 0; }

std::span<const std::uint8_t> bytesOf(const void* in, size_t in_size) {
  return {static_cast<const std::uint8_t*>(in), in_size};
}

quorlen_status copyOut(const std::vector<std::uint8_t>& result, void* out, size_t out_capacity,
                       size_t* out_size) {
  *out_size = result.size();
  if (result.size() > out_capacity) return QUORLEN_BUFFER_TOO_SMALL;
  if (!result.empty()) std::memcpy(out, result.data(), result.size());
  return QUORLEN_OK;
}

quorlen_status allocateOut(const std::vector<std::uint8_t>& result, void** out, size_t* out_size) {
  void* buffer = std::malloc(result.empty() ? 1 : result.size());
  if (buffer == nullptr) return QUORLEN_OUT_OF_MEMORY;
  if (!result.empty()) std::memcpy(buffer, result.data(), result.size());
  *out = buffer;
  *out_size = result.size();
  return QUORLEN_OK;
}

}  // namespace

extern "C" {

const char* quorlen_status_name(int status) {
  switch (status) {
    case QUORLEN_OK:
      return "success";
    case QUORLEN_INPUT_TOO_LARGE:
      return "input too large";
    case QUORLEN_CORRUPT_INPUT:
      return "corrupt input";
    case QUORLEN_OUT_OF_MEMORY:
      return "out of memory";
    case QUORLEN_BUFFER_TOO_SMALL:
      return "buffer too small";
    case QUORLEN_INVALID_ARGUMENT:
      return "invalid argument";
    default:
      return "unknown status";
  }
}

const char* quorlen_version(void) { return quorlen::version(); }

uint64_t quorlen_max_input_size(void) { return static_cast<uint64_t>(quorlen::kMaxInputSize); }

quorlen_status quorlen_compress(const void* in, size_t in_size, void* out, size_t out_capacity,
                                size_t* out_size) {
  if (!validInput(in, in_size) || (out == nullptr && out_capacity != 0) || out_size == nullptr)
    return QUORLEN_INVALID_ARGUMENT;
  *out_size = 0;
  const quorlen::CompressResult result = quorlen::compress(bytesOf(in, in_size));
  if (!result.ok()) return statusOf(result.error.kind);
  return copyOut(result.stream, out, out_capacity, out_size);
}

quorlen_status quorlen_decompress(const void* in, size_t in_size, void* out, size_t out_capacity,
                                  size_t* out_size) {
  if (!validInput(in, in_size) || (out == nullptr && out_capacity != 0) || out_size == nullptr)
    return QUORLEN_INVALID_ARGUMENT;
  *out_size = 0;
  const quorlen::DecompressResult result = quorlen::decompress(bytesOf(in, in_size));
  if (!result.ok()) return statusOf(result.error.kind);
  return copyOut(result.bytes, out, out_capacity, out_size);
}

quorlen_status quorlen_compress_alloc(const void* in, size_t in_size, void** out, size_t* out_size) {
  if (!validInput(in, in_size) || out == nullptr || out_size == nullptr) return QUORLEN_INVALID_ARGUMENT;
  *out = nullptr;
  *out_size = 0;
  const quorlen::CompressResult result = quorlen::compress(bytesOf(in, in_size));
  if (!result.ok()) return statusOf(result.error.kind);
  return allocateOut(result.stream, out, out_size);
}

quorlen_status quorlen_decompress_alloc(const void* in, size_t in_size, void** out, size_t* out_size) {
  if (!validInput(in, in_size) || out == nullptr || out_size == nullptr) return QUORLEN_INVALID_ARGUMENT;
  *out = nullptr;
  *out_size = 0;
  const quorlen::DecompressResult result = quorlen::decompress(bytesOf(in, in_size));
  if (!result.ok()) return statusOf(result.error.kind);
  return allocateOut(result.bytes, out, out_size);
}

void quorlen_free(void* buffer) { std::free(buffer); }

quorlen_status quorlen_reader_open(const void* in, size_t in_size, quorlen_reader** reader) {
  if (!validInput(in, in_size) || reader == nullptr) return QUORLEN_INVALID_ARGUMENT;
  *reader = nullptr;
  quorlen::ReaderResult opened = quorlen::openReader(bytesOf(in, in_size));
  if (!opened.ok()) return statusOf(opened.error.kind);
  auto* handle = new (std::nothrow) quorlen_reader{std::move(opened.reader)};
  if (handle == nullptr) return QUORLEN_OUT_OF_MEMORY;
  *reader = handle;
  return QUORLEN_OK;
}

uint64_t quorlen_reader_size(const quorlen_reader* reader) {
  return reader == nullptr ? 0 : reader->reader.size();
}

size_t quorlen_reader_read(const quorlen_reader* reader, uint64_t offset, void* out, size_t length) {
  if (reader == nullptr || (out == nullptr && length != 0)) return 0;
  return reader->reader.read(offset, {static_cast<std::uint8_t*>(out), length});
}

void quorlen_reader_close(quorlen_reader* reader) { delete reader; }

}  // extern "C"
