// The files of a file-to-file run: the whole input read into memory, an output file
// written in blocks, and the one error type that carries any of their failures.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "decoder/byte_sink.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

// A failure of a file-to-file run. what() is the sentence the programs print after
// "error : ".
class FileError : public std::runtime_error {
 public:
  FileError(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind(kind) {}
  ErrorKind kind;
};

// The sentence of every failure to write an output file.
inline constexpr const char* kDiskFull = "disk full while writing data.";

[[noreturn]] inline void fail(ErrorKind kind, const std::string& message) { throw FileError(kind, message); }

// Throws FileError when the file cannot be opened or read (a directory, say).
std::vector<std::uint8_t> readWholeFile(const std::string& path);

// An output file, created or truncated on construction. Any write failure, including
// one that shows only when buffered data is flushed at close(), is a FileError.
class OutputFile final : public ByteSink {
 public:
  explicit OutputFile(const std::string& path);
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  void write(std::span<const std::uint8_t> bytes) override;
  void close();
  // Closes the file, ignoring errors, and removes it if it is a regular file, so that no
  // half-written output is left behind (a device such as /dev/full stays, of course).
  void discard() noexcept;

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
};

}  // namespace quorlen
