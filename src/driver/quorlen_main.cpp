// quorlen <file in> <file out>: compresses one file into one grammar stream, then
// prints five lines of statistics.
#include <cstdlib>
#include <iostream>

#include "driver/statistics.hpp"
#include "quorlen/quorlen.hpp"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: quorlen <file in> <file out>" << std::endl;
    return EXIT_FAILURE;
  }
  const quorlen::Error error = quorlen::compressFile(argv[1], argv[2], [](const quorlen::FileStatistics& statistics) {
    quorlen::writeStatistics(std::cout, statistics.inputBytes, statistics.outputBytes, statistics.seconds);
  });
  if (error.kind == quorlen::ErrorKind::none) return EXIT_SUCCESS;
  std::cerr << "error : " << error.message << std::endl;
  return EXIT_FAILURE;
}
