// The file-to-file runs of the two programs, with every failure as a value.
#include <chrono>
#include <fstream>
#include <new>
#include <optional>
#include <stdexcept>
#include <vector>

#include "api/file_io.hpp"
#include "api/input_file.hpp"
#include "api/same_file.hpp"
#include "bitio/bit_output_stream.hpp"
#include "bitio/write_error.hpp"
#include "decoder/decompress.hpp"
#include "encoder/compress.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

namespace {

std::int64_t clockMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

const char* kOutOfMemory = "out of memory.";

void refuseSameFile(const std::string& input, const std::string& output) {
  if (sameFile(input, output)) fail(ErrorKind::sameFile, "input and output are the same file '" + output + "'.");
}

void compressFileOrThrow(const std::string& inputPath, const std::string& outputPath,
                         const std::function<void(const FileStatistics&)>& beforeClose) {
  std::ifstream input(inputPath, std::ios::binary);
  if (!input) fail(ErrorKind::openInput, "unable to open file '" + inputPath + "' for input.");
  const std::int64_t inputCount = countInputBytes(input, inputPath);
  refuseSameFile(inputPath, outputPath);

  std::ofstream output;
  std::vector<char> outputBuffer(1 << 16);
  output.rdbuf()->pubsetbuf(outputBuffer.data(), static_cast<std::streamsize>(outputBuffer.size()));
  output.open(outputPath, std::ios::binary | std::ios::trunc);
  if (!output) fail(ErrorKind::openOutput, "unable to open file '" + outputPath + "' for output.");
  BitOutputStream stream(output);

  const std::int64_t start = clockMilliseconds();
  if (inputCount > 0) {
    std::vector<std::int32_t> symbols = readInputSymbols(input, inputPath, inputCount);
    encodeSymbols(symbols, stream);
  }
  const FileStatistics statistics{inputCount, stream.putPosition(),
                                  static_cast<double>(clockMilliseconds() - start) * 0.001};
  if (beforeClose) beforeClose(statistics);
  stream.close();
  output.close();
  if (!output) throw WriteError();
}

}  // namespace

Error compressFile(const std::string& input, const std::string& output,
                   const std::function<void(const FileStatistics&)>& beforeClose) noexcept {
  try {
    compressFileOrThrow(input, output, beforeClose);
    return {};
  } catch (const FileError& error) {
    return Error{error.kind, error.what()};
  } catch (const WriteError&) {
    return Error{ErrorKind::writeOutput, kDiskFull};
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return Error{ErrorKind::outOfMemory, kOutOfMemory};
}

Error decompressFile(const std::string& input, const std::string& output) noexcept {
  std::optional<OutputFile> file;
  try {
    refuseSameFile(input, output);
    // The whole stream is checked before the output is created: a refused input
    // leaves no output file and leaves an existing one untouched. The stream itself is
    // freed once read: restoring needs only the checked grammar.
    const Decompressor decompressor(readWholeFile(input));
    file.emplace(output);
    decompressor.restoreWholeTo(*file);
    file->close();
    return {};
  } catch (const CorruptStreamError& error) {
    if (file) file->discard();
    return Error{ErrorKind::corruptInput, std::string("corrupt input: ") + error.what() + "."};
  } catch (const FileError& error) {
    if (file) file->discard();
    return Error{error.kind, error.what()};
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  if (file) file->discard();
  return Error{ErrorKind::outOfMemory, kOutOfMemory};
}

}  // namespace quorlen
