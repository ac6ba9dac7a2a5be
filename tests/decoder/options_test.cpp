// unquorlen's options as a user runs them: ranges, listing, testing, standard streams.
#include <sstream>
#include <string>

#include "program_fixture.hpp"

namespace {

namespace fs = std::filesystem;
using quorlen::test::ProgramTest;
using quorlen::test::Result;
using quorlen::test::readFile;
using quorlen::test::writeFile;
using Bytes = std::vector<std::uint8_t>;

class OptionsTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    for (int i = 0; i < 30000; ++i) text_ += "entry " + std::to_string(i * 31 % 977) + ";\n";
    writeFile(path("in"), Bytes(text_.begin(), text_.end()));
    ASSERT_EQ(run(QUORLEN_PATH, {path("in"), path("in.q")}).status, 0);
    const std::string stream = readFile(path("in.q"));
    writeFile(path("cut.q"), Bytes(stream.begin(), stream.end() - 3));
  }
  std::string text_;
};

TEST_F(OptionsTest, RangeWritesThoseBytesClippedAtTheEnd) {
  const std::uint64_t size = text_.size();
  for (const auto& [offset, length] : std::vector<std::pair<std::uint64_t, std::uint64_t>>{
           {0, 1}, {12345, 4096}, {size - 10, 100}, {size, 5}, {size + 7, 5}, {77, 0}, {0, UINT64_MAX}}) {
    const std::string range = std::to_string(offset) + ":" + std::to_string(length);
    const Result result = unquorlen({"--range", range, path("in.q"), path("part")});
    EXPECT_EQ(result.status, 0) << range << result.err;
    EXPECT_EQ(readFile(path("part")), offset < size ? text_.substr(offset, length) : "") << range;
  }
  const Result toStdout = unquorlen({"--range=5:20", "-", "-"}, path("in.q"));
  EXPECT_EQ(toStdout.out, text_.substr(5, 20));
}

TEST_F(OptionsTest, ListAndTestCheckEveryFileAndNameTheBadOnes) {
  const Result list = unquorlen({"-l", path("in.q"), path("cut.q"), path("missing")});
  EXPECT_EQ(list.status, 1);
  const auto newline = list.out.find('\n');
  ASSERT_NE(newline, std::string::npos);
  std::istringstream line(list.out.substr(newline + 1));
  std::uint64_t streamBytes = 0, restoredBytes = 0;
  line >> streamBytes >> restoredBytes;
  EXPECT_EQ(streamBytes, fs::file_size(path("in.q")));
  EXPECT_EQ(restoredBytes, text_.size());
  EXPECT_EQ(list.err, "error : corrupt input '" + path("cut.q") + "': stream ends inside the rule list.\n"
                      "error : unable to open file '" + path("missing") + "' for input.\n");

  EXPECT_EQ(unquorlen({"--test", path("in.q"), path("in.q")}).status, 0);
  const Result test = unquorlen({"-t", path("cut.q"), path("in.q")});
  EXPECT_EQ(test.status, 1);
  EXPECT_EQ(test.out, "");
  EXPECT_EQ(test.err.find('\n'), test.err.size() - 1) << "one line for the one bad file";
}

TEST_F(OptionsTest, StandardStreamsCarryOnlyTheRestoredBytes) {
  const Result piped = unquorlen({"-", "-"}, path("in.q"));
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, text_);
  EXPECT_EQ(piped.err, "");
  const Result cut = unquorlen({"-", path("out")}, path("cut.q"));
  EXPECT_EQ(cut.status, 1);
  EXPECT_FALSE(fs::exists(path("out")));
}

TEST_F(OptionsTest, HelpVersionAndBadCommandLines) {
  const Result help = unquorlen({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: unquorlen", 0), 0u);
  const Result version = unquorlen({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.find('\n'), version.out.size() - 1);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--range", "x:1", path("in.q"), path("o")}, {"--range", "1", path("in.q"), path("o")},
        {"--range", "18446744073709551616:1", path("in.q"), path("o")}, {"--frobnicate", path("in.q"), path("o")},
        {"-l"}, {"-l", "-t", path("in.q")}, {"--range", "0:1", path("in.q")}}) {
    const Result result = unquorlen(bad);
    EXPECT_EQ(result.status, 1) << bad[0];
    EXPECT_EQ(result.err, "usage: unquorlen <file in> <file out>\n");
  }
  EXPECT_FALSE(fs::exists(path("o")));
  const Result corrupt = unquorlen({"--range", "0:10", path("cut.q"), path("o")});
  EXPECT_EQ(corrupt.status, 1);
  EXPECT_EQ(corrupt.err.rfind("error : corrupt input: ", 0), 0u);
  EXPECT_FALSE(fs::exists(path("o")));
}

}  // namespace
