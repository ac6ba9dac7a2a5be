#include "sample_inputs.hpp"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>

namespace quorlen::test {

std::size_t scaled(std::size_t size) {
  const char* scale = std::getenv("QUORLEN_TEST_SCALE");
  const double factor = scale != nullptr ? std::atof(scale) : 1.0;
  const auto result = static_cast<std::size_t>(static_cast<double>(size) * factor);
  return result == 0 ? 1 : result;
}

std::vector<SampleInput> sampleInputs() {
  std::vector<SampleInput> inputs;
  std::mt19937 random(12345);
  auto randomOver = [&](std::string name, std::size_t size, unsigned symbols, unsigned base) {
    std::vector<std::uint8_t> bytes(size);
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(base + random() % symbols);
    inputs.push_back({std::move(name), std::move(bytes)});
  };
  for (std::size_t size : {1, 2, 3, 7, 64, 1000}) inputs.push_back({"zeros" + std::to_string(size), std::vector<std::uint8_t>(size, 0)});
  inputs.push_back({"ff-long", std::vector<std::uint8_t>(scaled(1 << 20), 0xff)});
  randomOver("random1-short", 5, 1, 200);
  randomOver("random2", scaled(200000), 2, 'x');
  // The encoder slows down with the number of distinct rules, which random bytes
  // maximise: these stay small.
  randomOver("random16", scaled(1 << 16), 16, 40);
  randomOver("random256", scaled(48 << 10), 256, 0);
  randomOver("random256-short", 300, 256, 0);
  for (std::size_t size : {2, 3, 4, 5, 17}) randomOver("random2-size" + std::to_string(size), size, 2, 0);
  {
    std::vector<std::uint8_t> all(256 * 4);
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<std::uint8_t>(i);
    inputs.push_back({"all-bytes", all});
    inputs.push_back({"all-bytes-once", std::vector<std::uint8_t>(all.begin(), all.begin() + 256)});
  }
  {
    std::vector<std::uint8_t> periodic(scaled(1 << 21));
    for (std::size_t i = 0; i < periodic.size(); ++i) periodic[i] = "abcdefghij"[i % 10];
    inputs.push_back({"period10", periodic});
    for (std::size_t i = 0; i < periodic.size(); ++i) periodic[i] = static_cast<std::uint8_t>((i * i) % 251);
    inputs.push_back({"quadratic", periodic});
  }
  {
    // Fibonacci words nest rules deeply.
    std::string a = "a", b = "ab";
    while (b.size() < scaled(1 << 20)) {
      std::string next = b + a;
      a = std::move(b);
      b = std::move(next);
    }
    inputs.push_back({"fibonacci", std::vector<std::uint8_t>(b.begin(), b.end())});
  }
  {
    // Text-like: words from a small vocabulary with random repeats.
    const char* words[] = {"the ", "quick ", "brown ", "fox ", "jumps ", "over ", "lazy ", "dog ", "\n"};
    std::vector<std::uint8_t> text;
    while (text.size() < scaled(500000)) {
      const char* word = words[random() % 9];
      text.insert(text.end(), word, word + std::char_traits<char>::length(word));
    }
    inputs.push_back({"words", text});
  }
  return inputs;
}

std::vector<std::uint8_t> includeTar(std::size_t limit) {
  struct PipeCloser {
    void operator()(std::FILE* pipe) const { pclose(pipe); }
  };
  std::unique_ptr<std::FILE, PipeCloser> pipe(
      popen("cd / && tar --sort=name -cf - usr/include/c++ usr/include/linux 2>/dev/null", "r"));
  std::vector<std::uint8_t> bytes;
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
