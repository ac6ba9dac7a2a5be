#include "api/input_file.hpp"

#include <array>

#include "api/file_io.hpp"
#include "encoder/compress.hpp"
#include "encoder/grammar_encoder.hpp"

namespace quorlen {

namespace {

constexpr std::streamsize kChunkSize = 1 << 16;

}  // namespace

std::int64_t countInputBytes(std::istream& input, const std::string& path) {
  std::array<char, kChunkSize> chunk;
  std::int64_t count = 0;
  while (input.read(chunk.data(), kChunkSize) || input.gcount() > 0) {
    count += input.gcount();
    if (count >= kMaxInputSize) {
      fail(ErrorKind::inputTooLarge, "input file '" + path + "' is too large: it must be below " + std::to_string(kMaxInputSize) + " bytes.");
    }
    if (!input) break;
  }
  if (input.bad()) fail(ErrorKind::readInput, "unable to read file '" + path + "'.");
  input.clear();
  if (!input.seekg(0)) fail(ErrorKind::readInput, "unable to read file '" + path + "' a second time.");
  return count;
}

std::vector<std::int32_t> readInputSymbols(std::istream& input, const std::string& path, std::int64_t count) {
  std::vector<std::int32_t> symbols(static_cast<std::size_t>(count) + 1);
  std::array<char, kChunkSize> chunk;
  std::int64_t stored = 0;
  while (stored < count) {
    const auto wanted = static_cast<std::streamsize>(std::min<std::int64_t>(kChunkSize, count - stored));
    input.read(chunk.data(), wanted);
    if (input.bad()) fail(ErrorKind::readInput, "unable to read file '" + path + "'.");
    if (input.gcount() < wanted) fail(ErrorKind::readInput, "read past end of file.");
    for (std::streamsize k = 0; k < wanted; ++k) {
      symbols[static_cast<std::size_t>(stored + k)] = static_cast<unsigned char>(chunk[static_cast<std::size_t>(k)]);
    }
    stored += wanted;
  }
  symbols[static_cast<std::size_t>(count)] = EndSentinel;
  return symbols;
}

}  // namespace quorlen
