// The file-to-file runs when writes fail or fall short, when input and output are one
// file, when the input is private, changes while it is read, or never ends.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "api/input_file.hpp"
#include "api/output_file.hpp"
#include "common/failure.hpp"
#include "quorlen/quorlen.hpp"

namespace {

namespace fs = std::filesystem;
using quorlen::ErrorKind;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// Text of about 200 KB, so that both runs write several buffers' worth.
std::string sampleText() {
  std::string text;
  for (int line = 0; text.size() < 200000; ++line) {
    text += "line " + std::to_string(line * 7919 % 10007) + ": the quick brown fox " + std::to_string(line % 97) + "\n";
  }
  return text;
}

// What the replaced write(2) does: at most `chunk` bytes a call, failing with ENOSPC once
// `budget` bytes have gone through, and one EINTR first.
struct WritePlan {
  std::size_t chunk = SIZE_MAX;
  std::size_t budget = SIZE_MAX;
  bool interruptFirst = false;
};
WritePlan plan;

ssize_t plannedWrite(int fd, const void* data, std::size_t size) {
  if (plan.interruptFirst) {
    plan.interruptFirst = false;
    errno = EINTR;
    return -1;
  }
  if (plan.budget == 0) {
    errno = ENOSPC;
    return -1;
  }
  const std::size_t allowed = std::min({size, plan.chunk, plan.budget});
  plan.budget -= allowed;
  return ::write(fd, data, allowed);
}

class FileFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("quorlen-faults-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    writeFile(path("in"), sampleText());
    ASSERT_EQ(quorlen::compressFile(path("in"), path("in.q")).kind, ErrorKind::none);
  }
  void TearDown() override {
    quorlen::OutputFile::setWriteFunction(nullptr);
    ::umask(022);
    fs::remove_all(dir_);
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
};

TEST_F(FileFaults, ShortAndInterruptedWritesStillWriteEveryByte) {
  plan = WritePlan{7, SIZE_MAX, true};
  quorlen::OutputFile::setWriteFunction(plannedWrite);
  EXPECT_EQ(quorlen::compressFile(path("in"), path("again.q")).kind, ErrorKind::none);
  plan = WritePlan{4093, SIZE_MAX, true};
  EXPECT_EQ(quorlen::decompressFile(path("in.q"), path("out")).kind, ErrorKind::none);
  EXPECT_EQ(readFile(path("again.q")), readFile(path("in.q")));
  EXPECT_EQ(readFile(path("out")), readFile(path("in")));
}

// A failed write leaves only bytes of the stream itself: never memory the run released.
TEST_F(FileFaults, AFailedWriteLeavesOnlyWhatWasWritten) {
  const std::string stream = readFile(path("in.q"));
  quorlen::OutputFile::setWriteFunction(plannedWrite);
  for (const std::size_t budget : {std::size_t{0}, std::size_t{1000}, stream.size() - 1}) {
    plan = WritePlan{SIZE_MAX, budget, false};
    const quorlen::Error error = quorlen::compressFile(path("in"), path("cut.q"));
    EXPECT_EQ(error.kind, ErrorKind::writeOutput);
    EXPECT_EQ(error.message, quorlen::kDiskFull);
    EXPECT_EQ(readFile(path("cut.q")), stream.substr(0, budget));

    plan = WritePlan{SIZE_MAX, budget, false};
    EXPECT_EQ(quorlen::decompressFile(path("in.q"), path("out")).kind, ErrorKind::writeOutput);
    EXPECT_FALSE(fs::exists(path("out"))) << "a failed restore removes its output";
  }
}

TEST_F(FileFaults, InputAndOutputOnOneDeviceOrThroughALinkAreRefused) {
  fs::create_symlink("/dev/null", path("null-link"));
  EXPECT_EQ(quorlen::compressFile("/dev/null", path("null-link")).kind, ErrorKind::sameFile);
  EXPECT_EQ(quorlen::decompressFile(path("null-link"), "/dev/null").kind, ErrorKind::sameFile);
  fs::create_symlink(path("in.q"), path("stream-link"));
  EXPECT_EQ(quorlen::decompressFile(path("stream-link"), path("in.q")).kind, ErrorKind::sameFile);
  EXPECT_EQ(readFile(path("in.q")).size(), fs::file_size(path("in.q")));
  EXPECT_EQ(quorlen::decompressFile(path("in.q"), path("out")).kind, ErrorKind::none);
}

TEST_F(FileFaults, OutputsGetNoPermissionBitsTheirInputLacks) {
  ::umask(0);
  fs::permissions(path("in"), fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(path("in.q"), fs::perms::owner_read | fs::perms::owner_write);
  writeFile(path("existing"), "old");
  fs::permissions(path("existing"), fs::perms::all);
  ASSERT_EQ(quorlen::compressFile(path("in"), path("new.q")).kind, ErrorKind::none);
  ASSERT_EQ(quorlen::decompressFile(path("in.q"), path("existing")).kind, ErrorKind::none);
  for (const char* name : {"new.q", "existing"}) {
    EXPECT_EQ(fs::status(path(name)).permissions(), fs::perms::owner_read | fs::perms::owner_write) << name;
  }
}

TEST_F(FileFaults, AnInputThatChangesWhileItIsReadIsAnError) {
  auto readAfter = [&](const std::string& change) -> std::string {
    writeFile(path("moving"), "abcdef");
    quorlen::InputFile input(path("moving"), false);
    const std::int64_t count = quorlen::countInputBytes(input);
    std::ofstream(path("moving"), std::ios::binary | (change.empty() ? std::ios::trunc : std::ios::app)) << change;
    try {
      quorlen::readInputSymbols(input, count);
    } catch (const quorlen::Failure& error) {
      return error.what();
    }
    return "read";
  };
  EXPECT_EQ(readAfter("more"), "input changed while it was read.");
  EXPECT_EQ(readAfter(""), "read past end of file.");
}

TEST_F(FileFaults, TooLargeRegularInputIsRefusedFromItsSize) {
  {
    std::ofstream sparse(path("huge"), std::ios::binary);
  }
  fs::resize_file(path("huge"), quorlen::kMaxInputSize);  // sparse: nothing is written
  EXPECT_EQ(quorlen::compressFile(path("huge"), path("huge.q")).kind, ErrorKind::inputTooLarge);
  EXPECT_FALSE(fs::exists(path("huge.q")));
}

// A source that never ends, or a huge file that is no stream, is refused at its first
// bytes rather than read whole.
TEST_F(FileFaults, EndlessOrHugeNonStreamsAreRefusedAtOnce) {
  EXPECT_EQ(quorlen::decompressFile("/dev/zero", path("out")).kind, ErrorKind::corruptInput);
  {
    std::ofstream big(path("big"), std::ios::binary);
    big << "\x01\x02\x03 not a stream";
  }
  fs::resize_file(path("big"), std::uint64_t{3} << 30);
  EXPECT_EQ(quorlen::decompressFile(path("big"), path("out")).kind, ErrorKind::corruptInput);
  EXPECT_FALSE(fs::exists(path("out")));
}

}  // namespace
