// The quorlen program run as a user runs it: arguments, messages, exit status,
// the files it creates and the statistics it prints.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "support/example_streams.hpp"
#include "support/program_fixture.hpp"

#ifndef QUORLEN_BINARY
#error "QUORLEN_BINARY must name the quorlen program"
#endif

namespace {

namespace fs = std::filesystem;

using quorlen::test::readFile;
using quorlen::test::Result;
using quorlen::test::writeFile;

class ProgramTest : public quorlen::test::ProgramFixture {
 protected:
  // Runs `prefix quorlen arguments` inside `work`.
  Result run(const std::vector<std::string>& arguments, const std::string& prefix = "") const {
    return runProgram(QUORLEN_BINARY, arguments, prefix);
  }

  static void expectStatistics(const Result& r, const std::string& in, const std::string& out, const std::string& percent) {
    const auto lines = r.outLines();
    ASSERT_EQ(lines.size(), 5u) << r.out;
    EXPECT_EQ(lines[0], in + " characters input.");
    EXPECT_EQ(lines[1], out + " characters output.");
    EXPECT_EQ(lines[2], percent + "% reduction in size.");
    EXPECT_TRUE(std::regex_match(lines[3], std::regex(R"([0-9]+(\.[0-9]+)?(e[-+][0-9]+)? seconds\.)"))) << lines[3];
    EXPECT_TRUE(std::regex_match(lines[4], std::regex(R"((\?|[0-9]+(\.[0-9]+)?(e[-+][0-9]+)?) characters per second\.)")))
        << lines[4];
    if (lines[3] == "0 seconds.") {
      EXPECT_EQ(lines[4], "? characters per second.");
    }
  }

};

const std::string kUsage = "usage: quorlen <file in> <file out>";

TEST_F(ProgramTest, TooFewArgumentsPrintUsageAndCreateNothing) {
  for (const auto& arguments : {std::vector<std::string>{}, std::vector<std::string>{"out.q"}}) {
    const Result r = run(arguments);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, kUsage + "\n");
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(filesInWork().empty());
  }
}

TEST_F(ProgramTest, ArgumentsAfterTheSecondAreIgnored) {
  writeFile(work() / "in", "a");
  const Result r = run({"in", "out.q", "extra.q", "--help"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(filesInWork(), (std::vector<std::string>{"in", "out.q"}));
  EXPECT_EQ(readFile(work() / "out.q").size(), 7u);
}

TEST_F(ProgramTest, MissingInputIsReportedAndNoOutputIsCreated) {
  const Result r = run({"no such file", "out.q"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error : unable to open file 'no such file' for input.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(filesInWork().empty());
}

TEST_F(ProgramTest, MissingInputLeavesAnExistingOutputAlone) {
  writeFile(work() / "out.q", "keep");
  const Result r = run({"absent", "out.q"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(readFile(work() / "out.q"), "keep");
}

TEST_F(ProgramTest, UnwritableOutputIsReported) {
  writeFile(work() / "in", "abc");
  const Result r = run({"in", "missing/dir/out.q"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error : unable to open file 'missing/dir/out.q' for output.\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(ProgramTest, DirectoryAsInputIsAnError) {
  fs::create_directory(work() / "dir");
  const Result r = run({"dir", "out.q"});
  EXPECT_EQ(r.status, 1);
  const auto lines = r.errLines();
  ASSERT_EQ(lines.size(), 1u) << r.err;
  EXPECT_EQ(lines[0].rfind("error : ", 0), 0u) << lines[0];
  EXPECT_EQ(r.out, "");
}

TEST_F(ProgramTest, EmptyInputGivesAnEmptyFile) {
  writeFile(work() / "in", "");
  const Result r = run({"in", "out.q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  expectStatistics(r, "0", "0", "0");
  ASSERT_TRUE(fs::exists(work() / "out.q"));
  EXPECT_EQ(fs::file_size(work() / "out.q"), 0u);
}

TEST_F(ProgramTest, ExistingOutputIsTruncated) {
  writeFile(work() / "in", "");
  writeFile(work() / "out.q", "old contents");
  const Result r = run({"in", "out.q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(fs::file_size(work() / "out.q"), 0u);
}

TEST_F(ProgramTest, OneByteInputGivesASevenByteStream) {
  writeFile(work() / "in", "a");
  const Result r = run({"in", "out.q"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  expectStatistics(r, "1", "7", "-600");
  EXPECT_EQ(readFile(work() / "out.q"), quorlen::test::asString(quorlen::test::kStreamA));
}

TEST_F(ProgramTest, OutputCountLeavesOutTheLastPartialByte) {
  writeFile(work() / "in", "ab");
  const Result r = run({"in", "out.q"});
  EXPECT_EQ(r.status, 0) << r.err;
  expectStatistics(r, "2", "6", "-200");
  EXPECT_EQ(readFile(work() / "out.q"), std::string("\x61\x62\x03\x1E\x0D\xD8\x6C", 7));
}

TEST_F(ProgramTest, TwelveByteExampleStream) {
  writeFile(work() / "in", "aaababbbbbaa");
  const Result r = run({"in", "out.q"});
  EXPECT_EQ(r.status, 0) << r.err;
  expectStatistics(r, "12", "15", "-25");
  EXPECT_EQ(fs::file_size(work() / "out.q"), 16u);
}

TEST_F(ProgramTest, CompressibleInputShowsAPositiveReductionTruncatedTowardZero) {
  writeFile(work() / "in", std::string(100000, 'z'));
  const Result r = run({"in", "out.q"});
  EXPECT_EQ(r.status, 0) << r.err;
  const auto lines = r.outLines();
  ASSERT_EQ(lines.size(), 5u);
  const std::string size = lines[1].substr(0, lines[1].find(' '));
  const long long output = std::stoll(size);
  const long long fileSize = static_cast<long long>(fs::file_size(work() / "out.q"));
  EXPECT_TRUE(fileSize == output || fileSize == output + 1) << fileSize << " vs " << output;
  expectStatistics(r, "100000", size, std::to_string((100000 - output) * 100 / 100000));
}

TEST_F(ProgramTest, FullDiskIsReported) {
  writeFile(work() / "in", "some bytes to write");
  const Result r = run({"in", "/dev/full"});
  EXPECT_EQ(r.status, 1);
  const auto lines = r.errLines();
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "error : disk full while writing data.");
  EXPECT_EQ(lines.size(), 1u) << r.err;
}

TEST_F(ProgramTest, SameFileAsInputAndOutputIsRefused) {
  const std::string original = "do not overwrite me";
  writeFile(work() / "f", original);
  fs::create_symlink("f", work() / "soft");
  fs::create_hard_link(work() / "f", work() / "hard");
  for (const auto& [in, out] : std::vector<std::pair<std::string, std::string>>{
           {"f", "f"}, {"f", "soft"}, {"soft", "f"}, {"f", "hard"}, {"f", "./f"}}) {
    SCOPED_TRACE(in + " " + out);
    const Result r = run({in, out});
    EXPECT_EQ(r.status, 1);
    const auto lines = r.errLines();
    ASSERT_EQ(lines.size(), 1u) << r.err;
    EXPECT_EQ(lines[0].rfind("error : ", 0), 0u) << lines[0];
    EXPECT_EQ(readFile(work() / "f"), original);
  }
}

TEST_F(ProgramTest, OutOfMemoryIsReported) {
#if QUORLEN_SANITIZED
  GTEST_SKIP() << "address space limits do not mix with sanitizers";
#else
  if (std::system("command -v prlimit >/dev/null 2>&1") != 0) GTEST_SKIP() << "prlimit is not installed";
  std::string input(4 << 20, '\0');
  std::uint32_t state = 1;
  for (auto& c : input) {
    state = state * 1103515245u + 12345u;
    c = static_cast<char>(state >> 24);
  }
  writeFile(work() / "in", input);
  // Enough to start and read the file, far too little for the encoder's tables.
  const Result r = run({"in", "out.q"}, "prlimit --as=" + std::to_string(40 << 20) + " --");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error : out of memory.\n");
  EXPECT_EQ(r.out, "");
#endif
}

TEST_F(ProgramTest, InputAtTheSizeLimitIsRefused) {
#if QUORLEN_SANITIZED
  GTEST_SKIP() << "reading 2 GiB is too slow with sanitizers";
#else
  const fs::path big = root_ / "big";
  fs::resize_file((writeFile(big, ""), big), 2147483136);
  const Result r = run({(root_ / "big").string(), "out.q"});
  EXPECT_EQ(r.status, 1);
  const auto lines = r.errLines();
  ASSERT_EQ(lines.size(), 1u) << r.err;
  EXPECT_EQ(lines[0].rfind("error : ", 0), 0u) << lines[0];
  EXPECT_FALSE(fs::exists(work() / "out.q"));
  fs::remove(big);
#endif
}

}  // namespace
