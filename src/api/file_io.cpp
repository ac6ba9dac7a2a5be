#include "api/file_io.hpp"

#include <filesystem>
#include <memory>
#include <system_error>

namespace quorlen {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::vector<std::uint8_t> readWholeFile(const std::string& path) {
  const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) throw FileError(ErrorKind::openInput, "unable to open file '" + path + "' for input.");
  constexpr std::size_t kChunk = std::size_t{1} << 16;
  std::vector<std::uint8_t> bytes;
  std::error_code error;
  const auto expected = std::filesystem::file_size(path, error);
  // Room for the final, short read too, so that a regular file is read without regrowth.
  if (!error) bytes.reserve(expected + kChunk);
  for (;;) {
    const std::size_t old = bytes.size();
    bytes.resize(old + kChunk);
    const std::size_t got = std::fread(bytes.data() + old, 1, kChunk, file.get());
    bytes.resize(old + got);
    if (got < kChunk) break;
  }
  if (std::ferror(file.get())) throw FileError(ErrorKind::readInput, "unable to read file '" + path + "'.");
  return bytes;
}

OutputFile::OutputFile(const std::string& path) : path_(path), file_(std::fopen(path.c_str(), "wb")) {
  if (file_ == nullptr) throw FileError(ErrorKind::openOutput, "unable to open file '" + path + "' for output.");
}

OutputFile::~OutputFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void OutputFile::write(std::span<const std::uint8_t> bytes) {
  if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) throw FileError(ErrorKind::writeOutput, kDiskFull);
}

void OutputFile::close() {
  std::FILE* file = file_;
  file_ = nullptr;
  const bool flushed = std::fflush(file) == 0;
  const bool closed = std::fclose(file) == 0;
  if (!flushed || !closed) throw FileError(ErrorKind::writeOutput, kDiskFull);
}

void OutputFile::discard() noexcept {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  std::error_code error;
  if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path_, error))) {
    std::filesystem::remove(path_, error);
  }
}

}  // namespace quorlen
