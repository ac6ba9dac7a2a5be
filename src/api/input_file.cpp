#include "api/input_file.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>

#include "common/failure.hpp"
#include "encoder/compress.hpp"
#include "encoder/grammar_encoder.hpp"

namespace quorlen {

namespace {

constexpr std::size_t kChunkSize = std::size_t{1} << 16;

[[noreturn]] void unreadable(const std::string& path) { fail(ErrorKind::readInput, "unable to read file '" + path + "'."); }

[[noreturn]] void tooLarge(const std::string& path) {
  fail(ErrorKind::inputTooLarge,
       "input file '" + path + "' is too large: it must be below " + std::to_string(kMaxInputSize) + " bytes.");
}

}  // namespace

InputFile::InputFile(const std::string& path, bool dashIsStandardInput) : path_(path) {
  if (dashIsStandardInput && path == "-") {
    fd_ = STDIN_FILENO;
  } else {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    owned_ = true;
  }
  if (fd_ < 0 || ::fstat(fd_, &status_) != 0) {
    if (owned_ && fd_ >= 0) ::close(fd_);
    fd_ = -1;
    fail(ErrorKind::openInput, "unable to open file '" + path + "' for input.");
  }
}

InputFile::~InputFile() {
  if (owned_ && fd_ >= 0) ::close(fd_);
}

std::size_t InputFile::read(std::span<std::uint8_t> out) {
  std::size_t filled = 0;
  while (filled < out.size()) {
    const ssize_t got = ::read(fd_, out.data() + filled, out.size() - filled);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) unreadable(path_);
    if (got == 0) break;
    filled += static_cast<std::size_t>(got);
  }
  return filled;
}

void InputFile::rewind() {
  if (::lseek(fd_, 0, SEEK_SET) != 0) fail(ErrorKind::readInput, "unable to read file '" + path_ + "' a second time.");
}

std::int64_t countInputBytes(InputFile& input) {
  if (input.regular()) {
    const std::int64_t size = input.status().st_size;
    if (size >= kMaxInputSize) tooLarge(input.path());
    return size;
  }
  std::array<std::uint8_t, kChunkSize> chunk;
  std::int64_t count = 0;
  for (std::size_t got; (got = input.read(chunk)) > 0;) {
    count += static_cast<std::int64_t>(got);
    if (count >= kMaxInputSize) tooLarge(input.path());
  }
  input.rewind();
  return count;
}

std::vector<std::int32_t> readInputSymbols(InputFile& input, std::int64_t count) {
  std::vector<std::int32_t> symbols = reserveSymbols(count);
  std::array<std::uint8_t, kChunkSize> chunk;
  std::int64_t stored = 0;
  while (stored < count) {
    const auto wanted = static_cast<std::size_t>(std::min<std::int64_t>(kChunkSize, count - stored));
    const std::size_t got = input.read(std::span(chunk).first(wanted));
    if (got < wanted) fail(ErrorKind::readInput, "read past end of file.");
    symbols.insert(symbols.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(wanted));
    stored += static_cast<std::int64_t>(wanted);
  }
  std::uint8_t extra;
  if (input.read(std::span(&extra, 1)) != 0) fail(ErrorKind::readInput, "input changed while it was read.");
  symbols.push_back(EndSentinel);
  return symbols;
}

}  // namespace quorlen
