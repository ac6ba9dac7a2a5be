// An input file read through its descriptor: what it is (size, permissions, identity)
// comes from the open file itself, so it cannot change between the check and the read.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorlen {

class InputFile {
 public:
  // Opens `path` for reading; "-" is standard input when `dashIsStandardInput`. Throws
  // Failure (openInput) when it cannot be opened.
  InputFile(const std::string& path, bool dashIsStandardInput);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  const std::string& path() const { return path_; }
  bool standardInput() const { return !owned_; }
  // The most an output made from this input may allow: its own permission bits, so that a
  // private file stays private. Standard input has none to pass on.
  std::optional<mode_t> outputPermissions() const {
    if (standardInput()) return std::nullopt;
    return status_.st_mode & 0777;
  }
  const struct stat& status() const { return status_; }
  bool regular() const { return S_ISREG(status_.st_mode); }

  // Reads up to out.size() bytes, fewer only at the end of the file. Throws Failure
  // (readInput) when the file cannot be read, a directory for example.
  std::size_t read(std::span<std::uint8_t> out);
  // Back to the first byte; throws Failure (readInput) when the file cannot seek.
  void rewind();

 private:
  std::string path_;
  int fd_ = -1;
  bool owned_ = false;
  struct stat status_ {};
};

// The number of bytes to compress: a regular file's size, or for other files a counting
// pass after which the file is rewound. Refuses kMaxInputSize bytes or more before
// anything is stored.
std::int64_t countInputBytes(InputFile& input);

// Reads exactly `count` bytes as the symbols 0..255 followed by one EndSentinel. A file
// that ends early or holds more bytes than counted has changed while it was read.
std::vector<std::int32_t> readInputSymbols(InputFile& input, std::int64_t count);

}  // namespace quorlen
