// The library's encoder against the straightforward reference encoder: complete
// streams must be equal, byte for byte, on inputs of many shapes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

#include "encoder/compress.hpp"
#include "quorlen/quorlen.hpp"
#include "reference/reference_compress.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

// QUORLEN_DIFFERENTIAL_SCALE shrinks (below 1) or grows the number of inputs.
double scale() {
  const char* text = std::getenv("QUORLEN_DIFFERENTIAL_SCALE");
  return text ? std::atof(text) : 1.0;
}

void expectSameStream(const Bytes& input, const std::string& what) {
  const Bytes fast = quorlen::compressBytes(input);
  const Bytes reference = quorlen::reference::compressBytes(input);
  ASSERT_EQ(fast.size(), reference.size()) << what << ", " << input.size() << " bytes";
  const auto mismatch = std::mismatch(fast.begin(), fast.end(), reference.begin());
  ASSERT_TRUE(mismatch.first == fast.end())
      << what << ", " << input.size() << " bytes: first difference at byte " << (mismatch.first - fast.begin());
}

// Lengths from 1 to `longest`, most of them short.
std::size_t randomLength(std::mt19937& random, std::size_t longest) {
  std::uniform_real_distribution<double> exponent(0.0, std::log(static_cast<double>(longest)));
  return std::max<std::size_t>(1, static_cast<std::size_t>(std::exp(exponent(random))));
}

Bytes randomBytes(std::mt19937& random, std::size_t length, int alphabet, int base) {
  std::uniform_int_distribution<int> symbol(0, alphabet - 1);
  Bytes bytes(length);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(base + symbol(random));
  return bytes;
}

// Random bytes over a small alphabet, repeated with occasional mutations.
Bytes periodicBytes(std::mt19937& random, std::size_t length, int alphabet) {
  const int base = alphabet <= 26 ? 'a' : 0;
  const Bytes period = randomBytes(random, randomLength(random, 64), alphabet, base);
  Bytes bytes(length);
  std::uniform_int_distribution<int> noise(0, 99);
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = period[i % period.size()];
    if (noise(random) == 0) bytes[i] = static_cast<std::uint8_t>(base + noise(random) % alphabet);
  }
  return bytes;
}

// Runs of one symbol of random lengths, which exercise the count of overlapping pairs.
Bytes runBytes(std::mt19937& random, std::size_t length, int alphabet) {
  Bytes bytes;
  std::uniform_int_distribution<int> symbol(0, alphabet - 1);
  while (bytes.size() < length) {
    const std::size_t run = randomLength(random, 40);
    bytes.insert(bytes.end(), std::min(run, length - bytes.size()), static_cast<std::uint8_t>(symbol(random)));
  }
  return bytes;
}

TEST(Differential, GeneratedInputs) {
  std::mt19937 random(20261208);
  const int inputs = static_cast<int>(2400 * scale());
  const int alphabets[] = {1, 2, 3, 4, 16, 256};
  for (int n = 0; n < inputs; ++n) {
    const std::size_t length = randomLength(random, n % 50 == 0 ? 100000 : 6000);
    const int alphabet = alphabets[n % 6];
    switch ((n / 6) % 3) {
      case 0:
        expectSameStream(randomBytes(random, length, alphabet, alphabet == 256 ? 0 : 'a'), "random");
        break;
      case 1:
        expectSameStream(periodicBytes(random, length, std::max(alphabet, 2)), "periodic");
        break;
      default:
        expectSameStream(runBytes(random, length, alphabet), "runs");
        break;
    }
    if (HasFatalFailure()) return;
  }
}

TEST(Differential, EverySmallBinaryString) {
  // Every input of up to 12 bytes over two symbols, where ties with EndSentinel abound.
  for (int length = 1; length <= 12; ++length) {
    for (std::uint32_t bits = 0; bits < (1u << length); ++bits) {
      Bytes input(static_cast<std::size_t>(length));
      for (int i = 0; i < length; ++i) input[static_cast<std::size_t>(i)] = (bits >> i) & 1 ? 'b' : 'a';
      expectSameStream(input, "binary string");
      if (HasFatalFailure()) return;
    }
  }
}

TEST(Differential, LongRunsAndEdgeBytes) {
  for (const std::size_t length : {1u, 2u, 3u, 4u, 5u, 7u, 64u, 1000u, 4097u, 65536u, 100000u}) {
    expectSameStream(Bytes(length, 0), "zeros");
    expectSameStream(Bytes(length, 255), "ones");
  }
  Bytes all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i);
  expectSameStream(all, "all byte values");
  Bytes twice = all;
  twice.insert(twice.end(), all.begin(), all.end());
  expectSameStream(twice, "all byte values twice");
}

// A new symbol's neighbours are kept between two walks when it occurs at most 4096
// times and looked up again above that: inputs on both sides, with many partners.
TEST(Differential, NewSymbolsOnBothSidesOfTheRememberedCount) {
  std::mt19937 random(4096);
  std::uniform_int_distribution<int> other('c', 'z');
  for (const std::size_t pairs : {4095u, 4096u, 4097u, 12000u}) {
    Bytes bytes;
    for (std::size_t i = 0; i < pairs; ++i) {
      bytes.insert(bytes.end(), {'a', 'b', static_cast<std::uint8_t>(other(random))});
    }
    expectSameStream(bytes, "a pair among random bytes");
    if (HasFatalFailure()) return;
  }
}

// A replacement's neighbours are kept as it is made, and a later replacement of the
// same pass beside it changes them: pairs of equal count side by side (a period of
// distinct bytes, words of a few letters) and runs of odd and even lengths, with
// passes of fewer and more replacements than the 4096 kept for any pass.
TEST(Differential, NeighboursChangedLaterInTheirPass) {
  std::mt19937 random(12);
  std::uniform_int_distribution<int> runLength(1, 9);
  for (const std::size_t repeats : {3u, 700u, 2100u, 5000u}) {
    for (const std::size_t period : {2u, 3u, 5u, 8u}) {
      Bytes bytes;
      for (std::size_t i = 0; i < repeats * period; ++i) bytes.push_back(static_cast<std::uint8_t>('a' + i % period));
      expectSameStream(bytes, "a period of distinct bytes");
    }
    const char* const words[] = {"ab", "abc", "cab", "bca", "aab"};
    Bytes text;
    Bytes runs;
    for (std::size_t i = 0; i < repeats; ++i) {
      for (const char* c = words[random() % 5]; *c != 0; ++c) text.push_back(static_cast<std::uint8_t>(*c));
      runs.insert(runs.end(), static_cast<std::size_t>(runLength(random)), 'a');
      runs.push_back(i % 3 == 0 ? 'c' : 'b');
    }
    expectSameStream(text, "words side by side");
    expectSameStream(runs, "runs between two bytes");
    if (HasFatalFailure()) return;
  }
}

// Once a quarter of the sequence is gaps, a compaction packs it, and again once half
// of the packed one is: inputs whose sequence empties in stages, with gaps longer
// than a word of live bits (runs of either parity, a period repeated) and lone
// symbols left between them.
TEST(Differential, SequencesPackedWhileMostlyGaps) {
  std::mt19937 random(75);
  std::uniform_int_distribution<int> runLength(1, 70);
  for (const std::size_t repeats : {300u, 3000u}) {
    const Bytes period = randomBytes(random, 40, 256, 0);
    Bytes bytes;
    for (std::size_t i = 0; i < repeats; ++i) {
      bytes.insert(bytes.end(), period.begin(), period.end());
      bytes.insert(bytes.end(), static_cast<std::size_t>(runLength(random)), 'q');
      bytes.push_back(static_cast<std::uint8_t>(random()));
    }
    expectSameStream(bytes, "a period, runs and lone bytes");
    if (HasFatalFailure()) return;
  }
}

// Pair replacement ends with the sequence in which no pair occurs twice, the root's
// body, which the reference pairs up into rules of one use and the library keeps
// as it is: random bytes leave most of the input there, runs next to random
// bytes leave the run's rules in it, and the shortest inputs leave only the
// sentinel's neighbour.
TEST(Differential, LongSequencesLeftWithoutRepeatedPairs) {
  std::mt19937 random(4099);
  for (const std::size_t length : {0u, 1u, 2u, 3u, 1000u, 30000u, 120000u}) {
    for (const int alphabet : {2, 256}) {
      expectSameStream(randomBytes(random, length, alphabet, 0), "random");
      Bytes framed = randomBytes(random, length / 2, alphabet, 0);
      framed.insert(framed.end(), length / 4 + 3, static_cast<std::uint8_t>(alphabet - 1));
      const Bytes tail = randomBytes(random, length / 4, alphabet, 0);
      framed.insert(framed.end(), tail.begin(), tail.end());
      expectSameStream(framed, "random around a run");
      if (HasFatalFailure()) return;
    }
  }
  for (const std::size_t length : {2u, 3u, 31u, 32u, 33u, 4096u}) expectSameStream(Bytes(length, 'q'), "run");
}

// The library collects its stream in blocks of 1 MiB; the program writes to a
// file. A stream of several blocks must be the same.
TEST(Differential, StreamOfSeveralBlocksIsTheProgramsStream) {
  std::mt19937 random(31);
  const Bytes input = randomBytes(random, 3 * 1000 * 1000 + 7, 256, 0);
  std::int64_t wholeBytes = 0;
  const Bytes fromLibrary = quorlen::compressBytes(input, &wholeBytes);
  const auto directory = std::filesystem::temp_directory_path() / ("quorlen_blocks_" + std::to_string(::getpid()));
  std::filesystem::create_directories(directory);
  {
    std::ofstream(directory / "in", std::ios::binary).write(reinterpret_cast<const char*>(input.data()),
                                                           static_cast<std::streamsize>(input.size()));
  }
  ASSERT_EQ(quorlen::compressFile((directory / "in").string(), (directory / "out").string()).kind,
            quorlen::ErrorKind::none);
  std::ifstream in(directory / "out", std::ios::binary);
  const Bytes fromFile((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::filesystem::remove_all(directory);
  ASSERT_GT(fromLibrary.size(), 3u << 20);
  EXPECT_GE(wholeBytes + 1, static_cast<std::int64_t>(fromLibrary.size()));
  EXPECT_TRUE(fromLibrary == fromFile) << fromLibrary.size() << " against " << fromFile.size() << " bytes";
}

TEST(Differential, RealFiles) {
  std::vector<std::filesystem::path> files;
  for (const char* dir : {"/usr/include", "/usr/bin"}) {
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(dir, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
      if (it->is_regular_file(error) && it->file_size(error) > 0 && it->file_size(error) <= 150000) files.push_back(it->path());
    }
  }
  std::sort(files.begin(), files.end());
  const std::size_t wanted = static_cast<std::size_t>(60 * scale()) + 1;
  const std::size_t step = std::max<std::size_t>(1, files.size() / wanted);
  for (std::size_t i = 0; i < files.size(); i += step) {
    std::ifstream in(files[i], std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.empty()) continue;
    expectSameStream(bytes, files[i].string());
    if (HasFatalFailure()) return;
  }
}

}  // namespace
