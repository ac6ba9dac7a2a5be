// unquorlen <file in> <file out>: restores the bytes that quorlen compressed.
// Silent on success; on failure one "error : ..." line on standard error and status 1.
#include <cstdlib>
#include <iostream>

#include "api/output_file.hpp"
#include "quorlen/quorlen.hpp"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: unquorlen <file in> <file out>" << std::endl;
    return EXIT_FAILURE;
  }
  // An interrupted restore removes its partial output, as a failed one does.
  quorlen::removeOutputOnSignal();
  const quorlen::Error error = quorlen::decompressFile(argv[1], argv[2]);
  if (error.kind == quorlen::ErrorKind::none) return EXIT_SUCCESS;
  std::cerr << "error : " << error.message << std::endl;
  return EXIT_FAILURE;
}
