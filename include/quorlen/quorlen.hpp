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
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace quorlen {

inline constexpr std::int64_t kMaxInputSize = (std::int64_t{1} << 31) - 512;

// The library's version, "major.minor.patch", as the unquorlen --version line shows it.
const char* version() noexcept;

enum class ErrorKind {
  none,           // success
  inputTooLarge,  // compress(): the input has kMaxInputSize bytes or more
  corruptInput,   // decompress(): the stream is not one compress() writes
  outOfMemory,    // memory ran out; nothing else was affected
  openInput,      // the file functions: the input file cannot be opened
  readInput,      // ... it opened but cannot be read, or changed while it was read
  sameFile,       // ... input and output name one file; it is left untouched
  openOutput,     // ... the output file cannot be created
  writeOutput,    // ... writing the output failed (a full disk)
};

struct Error {
  ErrorKind kind = ErrorKind::none;
  // Empty on success. From compress() and decompress() a short reason; from the
  // file functions the sentence the programs print after "error : ".
  std::string message;
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

// The stream the quorlen program writes for `input`, byte for byte. Memory at the
// peak: about 9 to 10 bytes per input byte on text and programs, up to about 18 on
// random bytes, besides `input` itself and the result.
CompressResult compress(std::span<const std::uint8_t> input) noexcept;

// The bytes a stream of compress() stands for. Checks the whole stream before it
// restores anything; memory: a small multiple of the stream's size plus the result.
DecompressResult decompress(std::span<const std::uint8_t> stream) noexcept;

struct ReaderResult;

// Random access to the bytes a stream restores, without restoring the rest: the
// grammar is kept, and a read descends from the start rule to the bytes asked for.
// Movable, not copyable. One Reader may be read from several threads at once.
class Reader {
 public:
  Reader();  // empty: size() is 0
  ~Reader();
  Reader(Reader&&) noexcept;
  Reader& operator=(Reader&&) noexcept;
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  std::uint64_t size() const noexcept;  // bytes the stream restores
  // Copies the restored bytes [offset, offset + out.size()) into out, clipped at size(),
  // and returns how many it copied (0 at or past the end). Safe to call from several
  // threads at once on one Reader.
  std::size_t read(std::uint64_t offset, std::span<std::uint8_t> out) const noexcept;

  struct State;  // what reading needs of the stream

 private:
  friend struct ReaderAccess;
  std::unique_ptr<const State> state_;
};

struct ReaderResult {
  Reader reader;
  Error error;
  bool ok() const { return error.kind == ErrorKind::none; }
};

// Checks the whole stream as decompress() does (the same streams are refused, with the
// same kind) and keeps only what reading needs; the caller may release the stream after.
ReaderResult openReader(std::span<const std::uint8_t> stream) noexcept;

// File to file, as the quorlen and unquorlen programs run.
struct FileStatistics {
  std::int64_t inputBytes = 0;
  std::int64_t outputBytes = 0;  // whole bytes of the stream, as CompressResult::wholeBytes
  double seconds = 0;            // wall time of reading, compressing and writing, in ms steps
};

// Compresses the file `input` into the file `output`, created or truncated. The input
// is checked (readable, below the size limit, not the output itself) before the output
// is touched. `beforeClose`, when given, receives the statistics once the stream's last
// whole byte has been handed to the file, before the padded last byte is written and
// the file closed; a failure there is still reported afterwards. A failed run may leave
// a partial output file. A new output gets no permission bits the input lacks.
Error compressFile(const std::string& input, const std::string& output,
                   const std::function<void(const FileStatistics&)>& beforeClose = {}) noexcept;

// Restores the file `output` from the stream in the file `input`; "-" names standard
// input or output. The stream is read and checked, as it arrives, before the output is
// opened, so a corrupt stream leaves no output file; after a later failure a partial
// regular output file is removed. A new output gets no permission bits the input lacks.
Error decompressFile(const std::string& input, const std::string& output) noexcept;

}  // namespace quorlen
