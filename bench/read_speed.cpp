// Random-access reading of one compressed file: openReader() against decompress(),
// timed pair by pair; the spread of many reads of one length at random offsets; and the
// memory an open Reader holds per stream byte. Every read is checked against the
// restored bytes.
//
//   read_speed STREAM [READ-BYTES [READS [PAIRS]]]    (defaults 4096, 20000, 5)
#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

#include "quorlen/quorlen.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

std::size_t heapInUse() { return mallinfo2().uordblks + mallinfo2().hblkhd; }

int fail(const char* what) {
  std::fprintf(stderr, "read_speed: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return fail("usage: read_speed STREAM [READ-BYTES [READS [PAIRS]]]");
  std::ifstream file(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> stream((std::istreambuf_iterator<char>(file)), {});
  const std::size_t readBytes = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 4096;
  const int reads = argc > 3 ? std::atoi(argv[3]) : 20000;
  const int pairs = argc > 4 ? std::atoi(argv[4]) : 5;

  // Open and restore alternately, so that load on the machine hits both alike.
  std::vector<double> openTimes, restoreTimes;
  quorlen::DecompressResult restored;
  for (int pair = 0; pair < pairs; ++pair) {
    auto start = Clock::now();
    quorlen::ReaderResult opened = quorlen::openReader(stream);
    openTimes.push_back(secondsSince(start));
    if (!opened.ok()) return fail(opened.error.message.c_str());
    opened = {};
    start = Clock::now();
    restored = quorlen::decompress(stream);
    restoreTimes.push_back(secondsSince(start));
    if (!restored.ok()) return fail(restored.error.message.c_str());
  }
  std::sort(openTimes.begin(), openTimes.end());
  std::sort(restoreTimes.begin(), restoreTimes.end());

  const std::size_t heapBefore = heapInUse();
  const quorlen::ReaderResult opened = quorlen::openReader(stream);
  const std::size_t held = heapInUse() - heapBefore;
  const quorlen::Reader& reader = opened.reader;
  if (reader.size() != restored.bytes.size()) return fail("the reader's size differs from the restored size");

  std::mt19937_64 random(1);
  std::vector<std::uint8_t> out(readBytes);
  std::vector<double> readTimes;
  const std::uint64_t span = reader.size() > readBytes ? reader.size() - readBytes : 1;
  for (int i = 0; i < reads; ++i) {
    const std::uint64_t offset = random() % span;
    const auto start = Clock::now();
    const std::size_t got = reader.read(offset, out);
    readTimes.push_back(secondsSince(start));
    if (got != std::min<std::uint64_t>(readBytes, reader.size() - offset) ||
        std::memcmp(out.data(), restored.bytes.data() + offset, got) != 0) {
      return fail("a read differs from the restored bytes");
    }
  }
  std::sort(readTimes.begin(), readTimes.end());
  auto percentile = [&](double p) { return readTimes[static_cast<std::size_t>(p * (readTimes.size() - 1))] * 1e6; };

  std::printf("stream %zu bytes, restores %llu bytes\n", stream.size(), static_cast<unsigned long long>(reader.size()));
  std::printf("openReader   median %.3f s (min %.3f) over %d\n", openTimes[openTimes.size() / 2], openTimes[0], pairs);
  std::printf("decompress   median %.3f s (min %.3f) over %d\n", restoreTimes[restoreTimes.size() / 2], restoreTimes[0],
              pairs);
  std::printf("read %zu B   median %.2f us, p90 %.2f, p99 %.2f, max %.2f over %d random offsets\n", readBytes,
              percentile(0.5), percentile(0.9), percentile(0.99), readTimes.back() * 1e6, reads);
  std::printf("reader heap  %zu bytes = %.2f per stream byte\n", held, static_cast<double>(held) / stream.size());
  return 0;
}
