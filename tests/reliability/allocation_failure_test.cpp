// Every public call returns a value when any one of its allocations fails: the k-th
// allocation is made to fail for every k until a call runs through without a failure.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "quorlen/quorlen.hpp"

namespace {

// Only the one allocation fails: the ones after it are granted again, as when memory
// is short for a moment, so that a handler's own allocations may succeed or not.
long allocationsBeforeFailure = -1;  // -1: none fails
bool failureInjected = false;

void* allocate(std::size_t size) {
  if (allocationsBeforeFailure == 0) {
    allocationsBeforeFailure = -1;
    failureInjected = true;
    throw std::bad_alloc();
  }
  if (allocationsBeforeFailure > 0) --allocationsBeforeFailure;
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

Bytes sample(std::size_t size) {
  Bytes bytes(size);
  std::uint32_t state = 12345;
  for (auto& byte : bytes) {
    state = state * 1103515245u + 12345u;
    byte = "the quick brown fox jumps over a lazy dog "[(state >> 16) % 42];
  }
  return bytes;
}

// Runs `call` with its k-th allocation failing, for k = 0, 1, ... until it completes with
// every allocation granted; `check` sees each result. Returns the number of allocations.
long failEveryAllocation(const std::function<quorlen::ErrorKind()>& call) {
  for (long k = 0;; ++k) {
    allocationsBeforeFailure = k;
    failureInjected = false;
    const quorlen::ErrorKind kind = call();
    allocationsBeforeFailure = -1;
    if (!failureInjected) {
      EXPECT_EQ(kind, quorlen::ErrorKind::none) << "with every allocation granted";
      return k;
    }
    EXPECT_TRUE(kind == quorlen::ErrorKind::outOfMemory || kind == quorlen::ErrorKind::none)
        << "allocation " << k << " failed and the call reported kind " << static_cast<int>(kind);
  }
}

TEST(AllocationFailure, InMemoryCallsReturnOutOfMemory) {
  const Bytes input = sample(3000);
  const Bytes stream = quorlen::compress(input).stream;
  ASSERT_FALSE(stream.empty());
  EXPECT_GT(failEveryAllocation([&] { return quorlen::compress(input).error.kind; }), 100);
  EXPECT_GT(failEveryAllocation([&] { return quorlen::decompress(stream).error.kind; }), 1);
  EXPECT_GT(failEveryAllocation([&] { return quorlen::openReader(stream).error.kind; }), 1);

  const quorlen::ReaderResult opened = quorlen::openReader(stream);
  ASSERT_TRUE(opened.ok());
  failEveryAllocation([&] {
    std::uint8_t out[512];
    const bool complete = opened.reader.read(1000, out) == sizeof out &&
                          std::equal(out, out + sizeof out, input.begin() + 1000);
    return complete ? quorlen::ErrorKind::none : quorlen::ErrorKind::outOfMemory;
  });
}

TEST(AllocationFailure, FileCallsReturnAnError) {
  const fs::path dir = fs::temp_directory_path() / ("quorlen-allocation-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string input = (dir / "in").string(), packed = (dir / "in.q").string(), restored = (dir / "out").string();
  const Bytes bytes = sample(3000);
  std::ofstream(input, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), 3000);
  ASSERT_EQ(quorlen::compressFile(input, packed).kind, quorlen::ErrorKind::none);
  EXPECT_GT(failEveryAllocation([&] { return quorlen::compressFile(input, packed).kind; }), 100);
  EXPECT_GT(failEveryAllocation([&] { return quorlen::decompressFile(packed, restored).kind; }), 1);
  fs::remove_all(dir);
}

}  // namespace
