// The file-to-file run of the compressor, with every failure as a value.
#include <chrono>
#include <ostream>
#include <vector>

#include "api/error_value.hpp"
#include "api/input_file.hpp"
#include "api/output_file.hpp"
#include "api/same_file.hpp"
#include "bitio/bit_output_stream.hpp"
#include "common/failure.hpp"
#include "encoder/compress.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

namespace {

std::int64_t clockMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The compressor takes "-" as a file name like any other.
constexpr bool kDash = false;

void compressFileOrThrow(const std::string& inputPath, const std::string& outputPath,
                         const std::function<void(const FileStatistics&)>& beforeClose) {
  InputFile input(inputPath, kDash);
  const std::int64_t inputCount = countInputBytes(input);
  refuseSameFile(input, outputPath, kDash);

  OutputFile output(outputPath, input.outputPermissions(), kDash);
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
  } catch (...) {
    return caughtError(Framing::programs);
  }
}

}  // namespace quorlen
