// The unquorlen program run as a user runs it: arguments, files, messages, exit status.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "program_fixture.hpp"
#include "stream_builder.hpp"
#include "support/example_streams.hpp"

namespace {

namespace fs = std::filesystem;

using quorlen::test::ProgramTest;
using quorlen::test::Result;
using quorlen::test::readFile;
using quorlen::test::writeFile;
using Bytes = std::vector<std::uint8_t>;

using quorlen::test::kStreamAB;

TEST_F(ProgramTest, RestoresSilentlyAndHandlesEmptyInput) {
  writeFile(path("ab.q"), kStreamAB);
  const Result ok = unquorlen({path("ab.q"), path("ab"), "ignored-third"});
  EXPECT_EQ(ok.status, 0);
  EXPECT_EQ(ok.err, "");
  EXPECT_EQ(ok.out, "");
  EXPECT_EQ(readFile(path("ab")), "ab");

  writeFile(path("empty.q"), Bytes{});
  writeFile(path("empty"), "x");
  EXPECT_EQ(unquorlen({path("empty.q"), path("empty")}).status, 0);
  EXPECT_TRUE(fs::exists(path("empty")));
  EXPECT_EQ(fs::file_size(path("empty")), 0u);
}

TEST_F(ProgramTest, RoundTripWithTheCompressor) {
  Bytes input;
  for (int i = 0; i < 200000; ++i) input.push_back(static_cast<std::uint8_t>("hello, world\n"[i % 13] + (i % 977 == 0)));
  writeFile(path("in"), input);
  ASSERT_EQ(run(QUORLEN_PATH, {path("in"), path("in.q")}).status, 0);
  EXPECT_EQ(unquorlen({path("in.q"), path("out")}).status, 0);
  EXPECT_EQ(readFile(path("out")), readFile(path("in")));
}

TEST_F(ProgramTest, UsageAndOpenFailures) {
  for (const auto& args : {std::vector<std::string>{}, std::vector<std::string>{path("only-one")}}) {
    const Result usage = unquorlen(args);
    EXPECT_EQ(usage.status, 1);
    EXPECT_EQ(usage.err, "usage: unquorlen <file in> <file out>\n");
  }
  EXPECT_FALSE(fs::exists(path("only-one")));

  const Result missing = unquorlen({path("missing"), path("out")});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "error : unable to open file '" + path("missing") + "' for input.\n");
  EXPECT_FALSE(fs::exists(path("out")));

  writeFile(path("ab.q"), kStreamAB);
  const std::string badOut = path("no-such-dir") + "/out";
  const Result noOutput = unquorlen({path("ab.q"), badOut});
  EXPECT_EQ(noOutput.status, 1);
  EXPECT_EQ(noOutput.err, "error : unable to open file '" + badOut + "' for output.\n");

  fs::create_directories(path("dir"));
  const Result directory = unquorlen({path("dir"), path("out")});
  EXPECT_EQ(directory.status, 1);
  EXPECT_EQ(directory.err.rfind("error : ", 0), 0u) << directory.err;
  EXPECT_FALSE(fs::exists(path("out")));
}

TEST_F(ProgramTest, SameFileIsRefusedBeforeTruncation) {
  writeFile(path("ab.q"), kStreamAB);
  fs::create_symlink(path("ab.q"), path("link"));
  fs::create_hard_link(path("ab.q"), path("hard"));
  for (const std::string other : {"ab.q", "link", "hard"}) {
    const Result same = unquorlen({path("ab.q"), path(other)});
    EXPECT_EQ(same.status, 1);
    EXPECT_EQ(same.err.rfind("error : ", 0), 0u) << same.err;
    EXPECT_EQ(fs::file_size(path("ab.q")), kStreamAB.size());
  }
}

TEST_F(ProgramTest, WriteFailureIsDiskFull) {
  if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  writeFile(path("ab.q"), kStreamAB);
  const Result full = unquorlen({path("ab.q"), "/dev/full"});
  EXPECT_EQ(full.status, 1);
  EXPECT_EQ(full.err, "error : disk full while writing data.\n");
  EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST_F(ProgramTest, CorruptInputLeavesNoOutput) {
  writeFile(path("bad.q"), Bytes(kStreamAB.begin(), kStreamAB.end() - 1));
  const Result corrupt = unquorlen({path("bad.q"), path("out")});
  EXPECT_EQ(corrupt.status, 1);
  EXPECT_EQ(corrupt.err, "error : corrupt input: stream ends inside the rule list.\n");
  EXPECT_FALSE(fs::exists(path("out")));
}

// Outputs past what is restored whole for devices go through the streaming path: a
// 256 MiB output of doubling rules to /dev/null and /dev/full. A cycle is found by the
// walk that restores, and still leaves no output file.
TEST_F(ProgramTest, LargeOutputsToDevicesAndFaultsFoundWhileRestoring) {
  constexpr std::uint32_t kA = 97, kB = 98;
  auto r = [](std::uint32_t k) { return kB + 4 + k; };
  std::vector<quorlen::test::RuleRecord> rules(29);
  rules[0].body = {r(1), kA};
  for (std::uint32_t i = 1; i < 28; ++i) rules[i].body = {r(i + 1), r(i + 1)};
  rules[28].body = {kA, kB};
  writeFile(path("large.q"), quorlen::test::serialize(quorlen::test::fieldsFor(kA, kB, rules)));
  const Result large = unquorlen({path("large.q"), "/dev/null"});
  EXPECT_EQ(large.status, 0);
  EXPECT_EQ(large.err, "");
  if (fs::exists("/dev/full")) {
    EXPECT_EQ(unquorlen({path("large.q"), "/dev/full"}).err, "error : disk full while writing data.\n");
  }

  writeFile(path("cycle.q"), quorlen::test::serialize(quorlen::test::fieldsFor(kA, kB, {{{kA, r(1)}}, {{kB, r(1)}}})));
  const Result cycle = unquorlen({path("cycle.q"), path("out")});
  EXPECT_EQ(cycle.status, 1);
  EXPECT_EQ(cycle.err, "error : corrupt input: rule 1 refers to itself.\n");
  EXPECT_FALSE(fs::exists(path("out")));
}

}  // namespace
