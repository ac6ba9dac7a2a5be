// Random access to restored bytes, always against what decompress() restores.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <thread>
#include <vector>

#include "decoder/grammar_check.hpp"
#include "decoder/reader_walk.hpp"
#include "decoder/stream_builder.hpp"
#include "decoder/stream_parser.hpp"
#include "quorlen/quorlen.hpp"
#include "support/sample_inputs.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using quorlen::test::RuleRecord;

// Reads [offset, offset + length) both through `read` and out of `whole`, and says where
// they first differ (empty when they agree, count included).
template <typename Read>
std::string compareRead(const Bytes& whole, std::uint64_t offset, std::size_t length, Read read) {
  Bytes out(length, 0xA5);
  const std::size_t got = read(offset, std::span<std::uint8_t>(out));
  const std::size_t expected = offset >= whole.size() ? 0 : std::min<std::size_t>(length, whole.size() - offset);
  if (got != expected) return "count " + std::to_string(got) + " instead of " + std::to_string(expected);
  if (!std::equal(out.begin(), out.begin() + got, whole.begin() + offset)) return "bytes differ";
  if (std::any_of(out.begin() + got, out.end(), [](std::uint8_t b) { return b != 0xA5; })) return "wrote past the count";
  return {};
}

// Random ranges, short and long, plus the edges: empty, crossing the end, past the end.
template <typename Read>
void expectRangesMatch(const std::string& name, const Bytes& whole, Read read, int count = 300) {
  std::mt19937_64 random(whole.size());
  const std::uint64_t size = whole.size();
  std::vector<std::pair<std::uint64_t, std::size_t>> ranges = {
      {0, 0}, {0, 1}, {0, size}, {size, 1}, {size + 5, 10}, {size / 2, 0}, {size - std::min<std::uint64_t>(size, 3), 10}};
  for (int i = 0; i < count; ++i) {
    const std::size_t length = random() % 4 == 0 ? random() % 20000 : random() % 100;
    ranges.emplace_back(size == 0 ? 0 : random() % size, length);
  }
  for (const auto& [offset, length] : ranges) {
    const std::string fault = compareRead(whole, offset, length, read);
    ASSERT_TRUE(fault.empty()) << name << " at " << offset << "+" << length << ": " << fault;
  }
}

quorlen::Reader openOrFail(const Bytes& stream) {
  quorlen::ReaderResult opened = quorlen::openReader(stream);
  EXPECT_TRUE(opened.ok()) << opened.error.message;
  return std::move(opened.reader);
}

// The tables alone, to read them with a chosen limit on the levels kept.
quorlen::ReaderTables tablesOf(const Bytes& stream) {
  quorlen::Grammar grammar = quorlen::parseStream(stream);
  quorlen::checkGrammar(grammar);
  return quorlen::buildReaderTables(std::move(grammar), stream.size());
}

// A chain `depth` rules deep over bytes a and b: rule k = rule k+1, then a byte.
Bytes chainStream(std::uint32_t depth, Bytes& restored) {
  constexpr std::uint32_t kA = 'a', kB = 'b';
  std::vector<RuleRecord> chain(depth);
  auto byteOf = [](std::uint32_t k) { return k % 3 == 0 ? kB : kA; };
  for (std::uint32_t k = 0; k + 1 < depth; ++k) chain[k].body = {kB + 4 + k + 1, byteOf(k)};
  chain[depth - 1].body = {kA};
  restored.assign(1, kA);
  for (std::uint32_t k = depth - 1; k-- > 0;) restored.push_back(static_cast<std::uint8_t>(byteOf(k)));
  return quorlen::test::serialize(quorlen::test::fieldsFor(kA, kB, chain));
}

TEST(Reader, RangesMatchDecompressOnGeneratedAndRealInputs) {
  auto inputs = quorlen::test::largeSampleInputs();
  inputs.push_back({"include-tar", quorlen::test::includeTar(quorlen::test::scaled(3 << 20))});
  for (const auto& input : inputs) {
    const Bytes stream = quorlen::compress(input.bytes).stream;
    const quorlen::Reader reader = openOrFail(stream);
    ASSERT_EQ(reader.size(), input.bytes.size()) << input.name;
    expectRangesMatch(input.name, input.bytes, [&](std::uint64_t offset, std::span<std::uint8_t> out) {
      return reader.read(offset, out);
    });
  }
}

TEST(Reader, EmptyStreamsAndEmptyReaders) {
  const quorlen::Reader empty = openOrFail({});
  quorlen::Reader unopened;
  Bytes out(8);
  EXPECT_EQ(empty.size(), 0u);
  EXPECT_EQ(empty.read(0, out), 0u);
  EXPECT_EQ(unopened.read(0, out), 0u);
  quorlen::Reader moved = openOrFail(quorlen::compress(Bytes{'x', 'y'}).stream);
  unopened = std::move(moved);
  EXPECT_EQ(unopened.read(1, out), 1u);
  EXPECT_EQ(out[0], 'y');
}

TEST(Reader, RefusesWhatDecompressRefusesWithTheSameKindAndReason) {
  const Bytes text = quorlen::test::includeTar(3000);
  const Bytes stream = quorlen::compress(text).stream;
  std::vector<Bytes> variants;
  for (std::size_t length = 0; length < stream.size(); ++length) variants.emplace_back(stream.begin(), stream.begin() + length);
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    Bytes flipped = stream;
    flipped[random() % flipped.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
    variants.push_back(std::move(flipped));
  }
  std::vector<RuleRecord> cycle(2);
  cycle[0].body = {'a' + 4 + 1, 'a'};
  cycle[1].body = {'a' + 4 + 1, 'a'};  // rule 1 refers to itself
  variants.push_back(quorlen::test::serialize(quorlen::test::fieldsFor('a', 'a', cycle)));
  for (const Bytes& variant : variants) {
    const quorlen::DecompressResult restored = quorlen::decompress(variant);
    const quorlen::ReaderResult opened = quorlen::openReader(variant);
    ASSERT_EQ(opened.error.kind, restored.error.kind);
    ASSERT_EQ(opened.error.message, restored.error.message);
    if (restored.ok()) {
      Bytes all(restored.bytes.size() + 1);
      ASSERT_EQ(opened.reader.read(0, all), restored.bytes.size());
      ASSERT_TRUE(std::equal(restored.bytes.begin(), restored.bytes.end(), all.begin()));
    } else {
      EXPECT_EQ(opened.reader.size(), 0u);
    }
  }
}

TEST(Reader, ReadsAChainOfAMillionRules) {
  Bytes restored;
  const Bytes stream = chainStream(1'000'000, restored);
  const quorlen::Reader reader = openOrFail(stream);
  ASSERT_EQ(reader.size(), restored.size());
  expectRangesMatch("chain", restored, [&](std::uint64_t offset, std::span<std::uint8_t> out) {
    return reader.read(offset, out);
  }, 20);
  // Keeping only 100 levels of the path, a read finds its way down afresh every 100 bytes.
  const quorlen::ReaderTables tables = tablesOf(stream);
  EXPECT_TRUE(compareRead(restored, 999'000, 1000, [&](std::uint64_t offset, std::span<std::uint8_t> out) {
    return quorlen::readRestoredKeeping(tables, offset, out, 100);
  }).empty());
}

TEST(Reader, ReadsTheSameWhenKeepingFewLevelsOfThePath) {
  Bytes chain;
  const std::vector<std::pair<std::string, Bytes>> streams = {
      {"tar", quorlen::compress(quorlen::test::includeTar(quorlen::test::scaled(1 << 19))).stream},
      {"chain", chainStream(500, chain)}};
  for (const auto& [name, stream] : streams) {
    const Bytes whole = quorlen::decompress(stream).bytes;
    const quorlen::ReaderTables tables = tablesOf(stream);
    for (std::uint32_t limit : {1u, 2u, 3u, 7u}) {
      expectRangesMatch(name + " keeping " + std::to_string(limit), whole,
                        [&](std::uint64_t offset, std::span<std::uint8_t> out) {
                          return quorlen::readRestoredKeeping(tables, offset, out, limit);
                        }, 60);
    }
  }
}

TEST(Reader, SeveralThreadsReadOneReader) {
  const Bytes text = quorlen::test::includeTar(quorlen::test::scaled(1 << 20));
  const quorlen::Reader reader = openOrFail(quorlen::compress(text).stream);
  std::atomic<int> faults{0};
  std::vector<std::thread> threads;
  for (unsigned t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      std::mt19937_64 random(t);
      Bytes out(4096);
      for (int i = 0; i < 2000; ++i) {
        const std::uint64_t offset = random() % text.size();
        const std::size_t got = reader.read(offset, out);
        if (got != std::min<std::size_t>(out.size(), text.size() - offset) ||
            !std::equal(out.begin(), out.begin() + got, text.begin() + offset)) {
          ++faults;
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(faults.load(), 0);
}

}  // namespace
