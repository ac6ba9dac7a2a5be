#include "support/sample_inputs.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

namespace quorlen::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

Bytes randomBytes(std::mt19937& random, std::size_t size, unsigned alphabet, unsigned base) {
  Bytes bytes(size);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(base + random() % alphabet);
  return bytes;
}

// Every byte value in increasing order, `times` times over.
Bytes allBytes(int times) {
  Bytes bytes;
  for (int k = 0; k < times; ++k) {
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<std::uint8_t>(b));
  }
  return bytes;
}

// The first Fibonacci word (a, ab, aba, abaab, ...) of at least `size` bytes; these
// nest rules deeply.
Bytes fibonacciWord(std::size_t size) {
  std::string a = "a", b = "ab";
  while (b.size() < size) {
    std::string next = b + a;
    a = std::move(b);
    b = std::move(next);
  }
  return bytesOf(b);
}

}  // namespace

std::size_t scaled(std::size_t size) {
  const char* scale = std::getenv("QUORLEN_TEST_SCALE");
  const double factor = scale != nullptr ? std::atof(scale) : 1.0;
  const auto result = static_cast<std::size_t>(static_cast<double>(size) * factor);
  return result == 0 ? 1 : result;
}

std::vector<SampleInput> smallSampleInputs() {
  std::vector<SampleInput> inputs;
  const auto add = [&](std::string name, Bytes bytes) { inputs.push_back({std::move(name), std::move(bytes)}); };
  add("single_byte", bytesOf("a"));
  add("zero_byte", Bytes{0});
  add("byte_255", Bytes{255});
  add("two_bytes", bytesOf("ab"));
  add("twelve_bytes", bytesOf("aaababbbbbaa"));
  add("abracadabra", bytesOf("abracadabra"));
  add("run_of_1000", Bytes(1000, 'x'));
  add("run_of_1023", Bytes(1023, 0));
  add("all_bytes_three_times", allBytes(3));
  std::string text;
  for (int k = 0; k < 60; ++k) {
    text += "the quick brown fox " + std::to_string(k % 7) + " jumps over the lazy dog; ";
  }
  add("text", bytesOf(text));
  std::mt19937 random(12345);
  for (unsigned size : {2, 3, 7, 17, 100, 2000, 5000}) {
    for (unsigned alphabet : {2, 5, 256}) {
      add("random_" + std::to_string(size) + "_of_" + std::to_string(alphabet), randomBytes(random, size, alphabet, 0));
    }
  }
  Bytes nested;
  for (int k = 0; k < 40; ++k) {
    for (int j = 0; j <= k % 9; ++j) nested.push_back(static_cast<std::uint8_t>('a' + j));
    nested.push_back('|');
  }
  add("nested_repeats", nested);
  add("fibonacci_word", fibonacciWord(3000));
  return inputs;
}

std::vector<SampleInput> largeSampleInputs() {
  std::vector<SampleInput> inputs;
  const auto add = [&](std::string name, Bytes bytes) { inputs.push_back({std::move(name), std::move(bytes)}); };
  std::mt19937 random(12345);
  for (std::size_t size : {1, 2, 3, 7, 64, 1000}) add("zeros" + std::to_string(size), Bytes(size, 0));
  add("ff-long", Bytes(scaled(1 << 20), 0xff));
  add("random1-short", randomBytes(random, 5, 1, 200));
  add("random2", randomBytes(random, scaled(200000), 2, 'x'));
  // The encoder slows down with the number of distinct rules, which random bytes
  // maximise: these stay small.
  add("random16", randomBytes(random, scaled(1 << 16), 16, 40));
  add("random256", randomBytes(random, scaled(48 << 10), 256, 0));
  add("random256-short", randomBytes(random, 300, 256, 0));
  for (std::size_t size : {2, 3, 4, 5, 17}) add("random2-size" + std::to_string(size), randomBytes(random, size, 2, 0));
  add("all-bytes", allBytes(4));
  add("all-bytes-once", allBytes(1));
  Bytes periodic(scaled(1 << 21));
  for (std::size_t i = 0; i < periodic.size(); ++i) periodic[i] = "abcdefghij"[i % 10];
  add("period10", periodic);
  for (std::size_t i = 0; i < periodic.size(); ++i) periodic[i] = static_cast<std::uint8_t>((i * i) % 251);
  add("quadratic", periodic);
  add("fibonacci", fibonacciWord(scaled(1 << 20)));
  // Text-like: words from a small vocabulary with random repeats.
  const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dog ", "\n"};
  Bytes text;
  while (text.size() < scaled(500000)) {
    const char* word = words[random() % 9];
    text.insert(text.end(), word, word + std::char_traits<char>::length(word));
  }
  add("words", text);
  return inputs;
}

std::vector<std::uint8_t> includeTar(std::size_t limit) {
  struct PipeCloser {
    void operator()(std::FILE* pipe) const { pclose(pipe); }
  };
  std::unique_ptr<std::FILE, PipeCloser> pipe(
      popen("cd / && tar --sort=name -cf - usr/include/c++ usr/include/linux 2>/dev/null", "r"));
  Bytes bytes;
  if (!pipe) return bytes;
  bytes.resize(limit);
  std::size_t got = 0;
  while (got < limit) {
    const std::size_t n = std::fread(bytes.data() + got, 1, limit - got, pipe.get());
    if (n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return bytes;
}

}  // namespace quorlen::test
