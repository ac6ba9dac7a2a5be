// Runs unquorlen (and quorlen) as a user does, each test in a directory of its own.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quorlen::test {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

struct Result {
  int status;
  std::string err;
  std::string out;
};

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("unquorlen-test-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  static void writeFile(const std::string& file, const Bytes& bytes) {
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  }
  static std::string readFile(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

  // Runs the program through the shell, every argument quoted.
  // `input`, when given, is the file on its standard input.
  Result run(const std::string& program, const std::vector<std::string>& arguments, const std::string& input = "") const {
    const std::string err = path("stderr.txt"), out = path("stdout.txt");
    std::string command;
    for (const std::string& word : arguments) command.append(" '").append(word).append("'");
    command.insert(0, "'" + program + "'");
    if (!input.empty()) command.append(" <'").append(input).append("'");
    command.append(" >'").append(out).append("' 2>'").append(err).append("'");
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readFile(err), readFile(out)};
  }
  Result unquorlen(const std::vector<std::string>& arguments, const std::string& input = "") const {
    return run(UNQUORLEN_PATH, arguments, input);
  }

  fs::path dir_;
};

}  // namespace quorlen::test
