// Every file of the fuzz corpora through the checks of its fuzz target, so that the
// seeds, and any input a fuzzing run adds to them, are checked by every test run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "checks.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<fs::path> corpus(const char* target) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(QUORLEN_FUZZ_CORPUS) / target)) {
    if (entry.is_regular_file()) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(FuzzCorpus, DecodeCorpusPassesTheDecodeChecks) {
  const std::vector<fs::path> files = corpus("decode");
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) EXPECT_EQ(quorlen::fuzz::decodeFault(readFile(file)), "") << file;
}

TEST(FuzzCorpus, RoundTripCorpusPassesTheRoundTripChecks) {
  const std::vector<fs::path> files = corpus("roundtrip");
  ASSERT_FALSE(files.empty());
  for (const fs::path& file : files) EXPECT_EQ(quorlen::fuzz::roundTripFault(readFile(file)), "") << file;
}

}  // namespace
