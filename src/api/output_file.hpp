// An output file written through its descriptor from a buffer the object owns, so that no
// write can ever read memory released before it.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <streambuf>
#include <string>

#include "decoder/byte_sink.hpp"

namespace quorlen {

// Both a stream buffer (for an std::ostream over it) and a ByteSink. Bytes reach the file
// only from write(), overflow() and close(), never from the destructor: a run that fails
// leaves the file with what was written before the failure and nothing else.
class OutputFile final : public std::streambuf, public ByteSink {
 public:
  // Creates or truncates `path`; "-" is standard output when `dashIsStandardOutput`. A
  // regular output gets no permission bits beyond `permissions` (the input's, when there
  // is an input file). Throws Failure (openOutput) when the file cannot be opened.
  OutputFile(const std::string& path, std::optional<mode_t> permissions, bool dashIsStandardOutput);
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Throws Failure (writeOutput) when the bytes cannot be written.
  void write(std::span<const std::uint8_t> bytes) override;
  // Writes what is buffered and closes the file; any failure, including one the system
  // reports only at close, throws Failure (writeOutput).
  void close();
  // Closes the file without writing what is buffered and removes it if its name holds a
  // regular file, so that no half-written output is left (a device such as /dev/full, or
  // the target of a symbolic link, stays).
  void discard() noexcept;
  // A regular output file is removed if the program is interrupted while it is open;
  // see removeOutputOnSignal().
  void removeOnSignal();

  bool regular() const { return regular_; }

  // The system's write(2), replaceable so that tests can inject short and failing writes.
  using WriteFunction = ssize_t (*)(int fd, const void* data, std::size_t size);
  static void setWriteFunction(WriteFunction function);

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  bool flushBuffer() noexcept;
  bool writeAll(const std::uint8_t* data, std::size_t size) noexcept;
  void forget() noexcept;

  static constexpr std::size_t kBufferSize = std::size_t{1} << 16;
  std::string path_;
  int fd_ = -1;
  bool owned_ = false;
  bool regular_ = false;
  bool removable_ = false;
  bool registered_ = false;
  std::array<char, kBufferSize> buffer_;
};

// Makes SIGINT, SIGTERM and SIGHUP remove the regular output file registered with
// OutputFile::removeOnSignal() before the process ends with the signal's usual status.
// For programs: a library never changes signal dispositions by itself.
void removeOutputOnSignal();

}  // namespace quorlen
