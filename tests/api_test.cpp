// The public API: results and failures as values, and the program's exact stream.
#include "quorlen/quorlen.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/example_streams.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

TEST(PublicApi, CompressGivesTheProgramsStreamAndItsWholeBytes) {
  const quorlen::CompressResult one = quorlen::compress(bytesOf("a"));
  ASSERT_TRUE(one.ok());
  EXPECT_EQ(one.stream, quorlen::test::kStreamA);
  EXPECT_EQ(one.wholeBytes, 7);  // 56 bits: no padding

  const quorlen::CompressResult two = quorlen::compress(bytesOf("ab"));
  ASSERT_TRUE(two.ok());
  EXPECT_EQ(two.stream, quorlen::test::kStreamAB);
  EXPECT_EQ(two.wholeBytes, 6);  // 54 bits: the last byte is partly padding
}

TEST(PublicApi, RoundTripsAndEmptyInputs) {
  for (const std::string& text : {std::string("aaababbbbbaa"), std::string(1000, 'x'),
                                  std::string("the quick brown fox jumps over the lazy dog, the lazy dog")}) {
    const quorlen::CompressResult compressed = quorlen::compress(bytesOf(text));
    ASSERT_TRUE(compressed.ok());
    const quorlen::DecompressResult restored = quorlen::decompress(compressed.stream);
    ASSERT_TRUE(restored.ok()) << restored.error.message;
    EXPECT_EQ(restored.bytes, bytesOf(text));
  }
  const quorlen::CompressResult empty = quorlen::compress({});
  EXPECT_TRUE(empty.ok());
  EXPECT_TRUE(empty.stream.empty());
  EXPECT_EQ(empty.wholeBytes, 0);
  const quorlen::DecompressResult nothing = quorlen::decompress({});
  EXPECT_TRUE(nothing.ok());
  EXPECT_TRUE(nothing.bytes.empty());
}

TEST(PublicApi, CorruptStreamsAreErrorsWithAReason) {
  const Bytes stream = quorlen::compress(bytesOf("aaababbbbbaa")).stream;
  Bytes truncated(stream.begin(), stream.end() - 1);
  Bytes extended = stream;
  extended.push_back(0);
  for (const Bytes& bad : {truncated, extended, Bytes{0x62, 0x61}}) {
    const quorlen::DecompressResult result = quorlen::decompress(bad);
    EXPECT_EQ(result.error.kind, quorlen::ErrorKind::corruptInput);
    EXPECT_FALSE(result.error.message.empty());
    EXPECT_TRUE(result.bytes.empty());
  }
}

TEST(PublicApi, InputsAtTheLimitAreRefusedUntouched) {
  // The size is checked before a byte is read, so no such buffer is needed.
  static const std::uint8_t byte = 0;
  const std::span<const std::uint8_t> huge(&byte, static_cast<std::size_t>(quorlen::kMaxInputSize));
  const quorlen::CompressResult result = quorlen::compress(huge);
  EXPECT_EQ(result.error.kind, quorlen::ErrorKind::inputTooLarge);
  EXPECT_TRUE(result.stream.empty());
}

// The file functions that the two programs call: every failure is a value whose
// message is the sentence the programs print.
class PublicFileApi : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("quorlen_api_test_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  static void write(const std::string& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
  static std::string read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  std::filesystem::path dir_;
};

TEST_F(PublicFileApi, RoundTripReportsStatisticsBeforeTheLastByte) {
  write(path("in"), "ab");
  std::vector<quorlen::FileStatistics> seen;
  const quorlen::Error packed =
      quorlen::compressFile(path("in"), path("in.q"), [&](const quorlen::FileStatistics& s) { seen.push_back(s); });
  ASSERT_EQ(packed.kind, quorlen::ErrorKind::none) << packed.message;
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].inputBytes, 2);
  EXPECT_EQ(seen[0].outputBytes, 6);  // 54 bits: the 7th byte, partly padding, comes at the close
  EXPECT_EQ(std::filesystem::file_size(path("in.q")), 7u);
  const quorlen::Error restored = quorlen::decompressFile(path("in.q"), path("out"));
  ASSERT_EQ(restored.kind, quorlen::ErrorKind::none) << restored.message;
  EXPECT_EQ(read(path("out")), "ab");
}

TEST_F(PublicFileApi, FailuresAreKindsWithTheProgramsSentences) {
  const quorlen::Error missing = quorlen::compressFile(path("absent"), path("out"));
  EXPECT_EQ(missing.kind, quorlen::ErrorKind::openInput);
  EXPECT_EQ(missing.message, "unable to open file '" + path("absent") + "' for input.");
  EXPECT_FALSE(std::filesystem::exists(path("out")));

  write(path("in"), "keep me");
  const quorlen::Error same = quorlen::compressFile(path("in"), path("in"));
  EXPECT_EQ(same.kind, quorlen::ErrorKind::sameFile);
  EXPECT_EQ(read(path("in")), "keep me");
  EXPECT_EQ(quorlen::decompressFile(path("in"), path("in")).kind, quorlen::ErrorKind::sameFile);
  EXPECT_EQ(read(path("in")), "keep me");

  const quorlen::Error noDirectory = quorlen::compressFile(path("in"), path("no/such/dir"));
  EXPECT_EQ(noDirectory.kind, quorlen::ErrorKind::openOutput);
  EXPECT_EQ(noDirectory.message, "unable to open file '" + path("no/such/dir") + "' for output.");

  EXPECT_EQ(quorlen::compressFile(dir_.string(), path("out")).kind, quorlen::ErrorKind::readInput);

  const quorlen::Error corrupt = quorlen::decompressFile(path("in"), path("out"));
  EXPECT_EQ(corrupt.kind, quorlen::ErrorKind::corruptInput);
  EXPECT_EQ(corrupt.message.rfind("corrupt input: ", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(path("out")));

  if (std::filesystem::exists("/dev/full")) {
    EXPECT_EQ(quorlen::compressFile(path("in"), "/dev/full").kind, quorlen::ErrorKind::writeOutput);
  }
}

}  // namespace
