// quorlen: grammar-based compression of byte strings.
//
// compress() builds a context-free grammar that derives exactly the input, by
// repeated replacement of the most frequent pair of adjacent symbols, and codes
// it with canonical Huffman codes; decompress() restores the input. Both work in
// memory, report every failure as a value and never end the process.
//
// Limits: inputs must be below kMaxInputSize bytes (2^31 - 512). The stream has
// no magic number, no version and no checksum: decompress() refuses every stream
// that compress() cannot have written in a way it can detect, but a damaged
// stream may still decode to other bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace quorlen {

inline constexpr std::int64_t kMaxInputSize = (std::int64_t{1} << 31) - 512;

enum class ErrorKind {
  none,           // success
  inputTooLarge,  // compress(): the input has kMaxInputSize bytes or more
  corruptInput,   // decompress(): the stream is not one compress() writes
  outOfMemory,    // memory ran out; nothing else was affected
};

struct Error {
  ErrorKind kind = ErrorKind::none;
  std::string message;  // empty on success; for corruptInput, the reason
};

struct CompressResult {
  std::vector<std::uint8_t> stream;  // empty on failure, and for an empty input
  // Bytes of the stream before its last byte when that byte is partly padding:
  // the "characters output" the quorlen program reports.
  std::int64_t wholeBytes = 0;
  Error error;
  bool ok() const { return error.kind == ErrorKind::none; }
};

struct DecompressResult {
  std::vector<std::uint8_t> bytes;  // empty on failure
  Error error;
  bool ok() const { return error.kind == ErrorKind::none; }
};

// The stream the quorlen program writes for `input`, byte for byte. Memory: about
// 15 bytes per input byte at the peak.
CompressResult compress(std::span<const std::uint8_t> input) noexcept;

// The bytes a stream of compress() stands for. Checks the whole stream before it
// restores anything; memory: a small multiple of the stream's size plus the result.
DecompressResult decompress(std::span<const std::uint8_t> stream) noexcept;

}  // namespace quorlen
