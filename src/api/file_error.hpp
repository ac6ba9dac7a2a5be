// The one error type of the file-to-file runs, and the sentences shared by several of them.
#pragma once

#include <stdexcept>
#include <string>

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

}  // namespace quorlen
