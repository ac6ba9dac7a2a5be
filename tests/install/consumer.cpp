// A program built against the installed library: round-trips one file through memory.
#include <quorlen/quorlen.hpp>

#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> input((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const quorlen::CompressResult compressed = quorlen::compress(input);
  if (!compressed.ok()) return 1;
  const quorlen::DecompressResult restored = quorlen::decompress(compressed.stream);
  if (!restored.ok() || restored.bytes != input) return 1;
  std::vector<std::uint8_t> damaged = compressed.stream;
  damaged.push_back(0xFF);
  if (quorlen::decompress(damaged).error.kind != quorlen::ErrorKind::corruptInput) return 1;
  std::cout << input.size() << " bytes, " << compressed.stream.size() << " compressed, restored exactly" << std::endl;
  return 0;
}
