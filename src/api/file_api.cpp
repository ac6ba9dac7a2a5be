// The file-to-file runs of the two programs, with every failure as a value.
#include <chrono>
#include <new>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <vector>

#include "api/error_value.hpp"
#include "api/file_error.hpp"
#include "api/input_file.hpp"
#include "api/output_file.hpp"
#include "api/same_file.hpp"
#include "api/stream_source.hpp"
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

constexpr const char* kOutOfMemory = "out of memory.";

// The compressor takes "-" as a file name like any other; the decompressor reads standard
// input and writes standard output for it.
constexpr bool kCompressorDash = false;
constexpr bool kDecompressorDash = true;

void refuseSameFile(const InputFile& input, const std::string& output, bool dashIsStandardStream) {
  if (sameFile(input.status(), output, dashIsStandardStream)) fail(ErrorKind::sameFile, "input and output are the same file '" + output + "'.");
}

// A new output gets no permission bits its input lacks, so a private file stays private.
// Standard input has no permissions to pass on.
std::optional<mode_t> outputPermissions(const InputFile& input) {
  if (input.standardInput()) return std::nullopt;
  return input.status().st_mode & 0777;
}

void compressFileOrThrow(const std::string& inputPath, const std::string& outputPath,
                         const std::function<void(const FileStatistics&)>& beforeClose) {
  InputFile input(inputPath, kCompressorDash);
  const std::int64_t inputCount = countInputBytes(input);
  refuseSameFile(input, outputPath, kCompressorDash);

  OutputFile output(outputPath, outputPermissions(input), kCompressorDash);
  std::ostream file(&output);
  BitOutputStream stream(file);

  const std::int64_t start = clockMilliseconds();
  if (inputCount > 0) {
    std::vector<std::int32_t> symbols = readInputSymbols(input, inputCount);
    encodeSymbols(symbols, stream);
  }
  const FileStatistics statistics{inputCount, stream.putPosition(),
                                  static_cast<double>(clockMilliseconds() - start) * 0.001};
  if (beforeClose) beforeClose(statistics);
  stream.close();
  output.close();
}

}  // namespace

Error compressFile(const std::string& input, const std::string& output,
                   const std::function<void(const FileStatistics&)>& beforeClose) noexcept {
  try {
    compressFileOrThrow(input, output, beforeClose);
    return {};
  } catch (const FileError& error) {
    return errorValue(error.kind, {error.what()});
  } catch (const WriteError&) {
    return errorValue(ErrorKind::writeOutput, {kDiskFull});
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return errorValue(ErrorKind::outOfMemory, {kOutOfMemory});
}

Error decompressFile(const std::string& input, const std::string& output) noexcept {
  std::optional<OutputFile> file;
  Error error;
  try {
    InputFile in(input, kDecompressorDash);
    refuseSameFile(in, output, kDecompressorDash);
    // The whole stream is checked, as it arrives, before the output is created: a refused
    // input leaves no output file and leaves an existing one untouched.
    FileStreamSource source(in);
    const Decompressor decompressor(source);
    file.emplace(output, outputPermissions(in), kDecompressorDash);
    file->removeOnSignal();
    decompressor.restoreTo(*file);
    file->close();
    return {};
  } catch (const CorruptStreamError& corrupt) {
    error = errorValue(ErrorKind::corruptInput, {"corrupt input: ", corrupt.what(), "."});
  } catch (const FileError& failure) {
    error = errorValue(failure.kind, {failure.what()});
  } catch (const std::bad_alloc&) {
    error = errorValue(ErrorKind::outOfMemory, {kOutOfMemory});
  } catch (const std::length_error&) {
    error = errorValue(ErrorKind::outOfMemory, {kOutOfMemory});
  }
  if (file) file->discard();
  return error;
}

}  // namespace quorlen
