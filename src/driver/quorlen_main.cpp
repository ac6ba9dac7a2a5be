// quorlen <file in> <file out>: compresses one file into one grammar stream.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include "bitio/bit_output_stream.hpp"
#include "bitio/write_error.hpp"
#include "driver/fatal_error.hpp"
#include "driver/file_checks.hpp"
#include "driver/input_file.hpp"
#include "driver/statistics.hpp"
#include "encoder/compress.hpp"
#include "encoder/grammar_encoder.hpp"

namespace {

using quorlen::fail;

std::int64_t clockMilliseconds() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int run(const std::string& inputPath, const std::string& outputPath) {
  std::ifstream input(inputPath, std::ios::binary);
  if (!input) fail("unable to open file '" + inputPath + "' for input.");
  const std::int64_t inputCount = quorlen::countInputBytes(input, inputPath);
  if (quorlen::sameFile(inputPath, outputPath)) {
    fail("input and output are the same file '" + outputPath + "'.");
  }

  std::ofstream output;
  std::vector<char> outputBuffer(1 << 16);
  output.rdbuf()->pubsetbuf(outputBuffer.data(), static_cast<std::streamsize>(outputBuffer.size()));
  output.open(outputPath, std::ios::binary | std::ios::trunc);
  if (!output) fail("unable to open file '" + outputPath + "' for output.");
  quorlen::BitOutputStream stream(output);

  const std::int64_t start = clockMilliseconds();
  if (inputCount > 0) {
    std::vector<std::int32_t> symbols = quorlen::readInputSymbols(input, inputPath, inputCount);
    quorlen::encodeSymbols(symbols, stream);
  }
  const std::int64_t outputCount = stream.putPosition();
  const double elapsed = static_cast<double>(clockMilliseconds() - start) * 0.001;
  quorlen::writeStatistics(std::cout, inputCount, outputCount, elapsed);
  stream.close();
  output.close();
  if (!output) throw quorlen::WriteError();
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: quorlen <file in> <file out>" << std::endl;
    return EXIT_FAILURE;
  }
  try {
    return run(argv[1], argv[2]);
  } catch (const quorlen::FatalError& error) {
    std::cerr << "error : " << error.what() << std::endl;
  } catch (const quorlen::WriteError&) {
    std::cerr << "error : disk full while writing data." << std::endl;
  } catch (const std::bad_alloc&) {
    std::cerr << "error : out of memory." << std::endl;
  } catch (const std::length_error&) {
    std::cerr << "error : out of memory." << std::endl;
  }
  return EXIT_FAILURE;
}
