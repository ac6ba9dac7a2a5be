// Runs the programs as a user does: each test in an empty directory of its own, the
// program's console output kept beside it, so that the directory holds only what the
// program created.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

namespace quorlen::test {

namespace fs = std::filesystem;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
  std::vector<std::string> outLines() const { return lines(out); }
  std::vector<std::string> errLines() const { return lines(err); }

  static std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> all;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
  }
};

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void writeFile(const fs::path& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

inline void writeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  writeFile(path, std::string(bytes.begin(), bytes.end()));
}

inline std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

class ProgramFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    root_ = fs::temp_directory_path() / ("quorlen-program-test-" + std::to_string(::getpid())) /
            (std::string(info->test_suite_name()) + "." + info->name());
    fs::remove_all(root_);
    fs::create_directories(work());
  }
  void TearDown() override {
    if (HasFailure()) return;  // kept for a look
    fs::remove_all(root_);
    std::error_code ignored;
    fs::remove(root_.parent_path(), ignored);  // only once no other test's directory is left
  }

  fs::path work() const { return root_ / "work"; }
  // A file of the working directory, as an absolute path.
  std::string path(const std::string& name) const { return (work() / name).string(); }

  // Runs `prefix program arguments` inside work(), with the file `input` on its
  // standard input when one is named.
  Result runProgram(const std::string& program, const std::vector<std::string>& arguments,
                    const std::string& prefix = "", const std::string& input = "") const {
    std::string command = "cd " + shellQuote(work().string()) + " && " + prefix + " " + shellQuote(program);
    for (const auto& argument : arguments) command.append(" ").append(shellQuote(argument));
    if (!input.empty()) command.append(" <").append(shellQuote(input));
    command.append(" >").append(shellQuote((root_ / "stdout").string()));
    command.append(" 2>").append(shellQuote((root_ / "stderr").string()));
    const int raw = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readFile(root_ / "stdout");
    result.err = readFile(root_ / "stderr");
    return result;
  }

  std::vector<std::string> filesInWork() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(work())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path root_;
};

}  // namespace quorlen::test
