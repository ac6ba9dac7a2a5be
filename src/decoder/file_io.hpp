// The files of the unquorlen program: the whole input read into memory, and an output
// file written in blocks, with every failure turned into the program's message text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "decoder/byte_sink.hpp"

namespace quorlen {

// what() is the text that follows "error : " on the program's error line.
class FileError : public std::runtime_error {
 public:
  explicit FileError(const std::string& message) : std::runtime_error(message) {}
};

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
