// unquorlen interrupted in the middle of a restore: the partial output is removed and
// the process ends with the signal's usual status.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "stream_builder.hpp"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// 1.75 GiB of 'a' from 31 rules: rule 0 is r1 r2 r3 and every other rule doubles the next.
std::vector<std::uint8_t> largeRestoreStream() {
  const std::uint32_t a = 'a';
  quorlen::test::StreamFields names;
  names.highByte = a;
  std::vector<quorlen::test::RuleRecord> rules(31);
  rules[0].body = {names.rule(1), names.rule(2), names.rule(3)};
  for (std::uint32_t k = 1; k < 30; ++k) rules[k].body = {names.rule(k + 1), names.rule(k + 1)};
  rules[30].body = {a, a};
  return quorlen::test::serialize(quorlen::test::fieldsFor(a, a, rules));
}

TEST(Interrupt, APartialRestoreIsRemovedAndTheSignalEndsTheProcess) {
  const fs::path dir = fs::temp_directory_path() / ("unquorlen-interrupt-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  std::string stream = (dir / "large.q").string(), output = (dir / "out").string();
  const auto bytes = largeRestoreStream();
  std::ofstream(stream, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));

  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    // The program starts with the default action for each signal, whatever this test inherited.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    char* argv[] = {const_cast<char*>(UNQUORLEN_PATH), stream.data(), output.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, UNQUORLEN_PATH, nullptr, &attributes, argv, environ), 0);
    posix_spawnattr_destroy(&attributes);

    std::error_code error;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (fs::file_size(output, error) == 0 || error) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the restore never started writing";
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::kill(pid, signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "signal " << signal << " came after the restore ended";
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_FALSE(fs::exists(output)) << "signal " << signal;
  }
  fs::remove_all(dir);
}

}  // namespace
