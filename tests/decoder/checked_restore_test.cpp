// The restore that checks the grammar in its own walk against the check made first: the
// same streams restore to the same bytes, and the same streams are refused with the same
// reason, whether the output fits the memory limit or has to be streamed after all.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "decoder/decompress.hpp"
#include "encoder/compress.hpp"
#include "stream_builder.hpp"
#include "support/sample_inputs.hpp"

namespace quorlen {
namespace {

using Bytes = std::vector<std::uint8_t>;
using test::RuleRecord;

// A stream in memory handed out at once, its size known as a regular file's is.
class MemorySource final : public ByteSource {
 public:
  explicit MemorySource(const Bytes& stream) : rest_(stream), size_(stream.size()) {}
  std::span<const std::uint8_t> next() override { return std::exchange(rest_, {}); }
  std::optional<std::uint64_t> size() const override { return size_; }

 private:
  std::span<const std::uint8_t> rest_;
  std::uint64_t size_;
};

class CollectingSink final : public ByteSink {
 public:
  void write(std::span<const std::uint8_t> bytes) override { out.insert(out.end(), bytes.begin(), bytes.end()); }
  Bytes out;
};

// "restored N bytes: <bytes>" or the reason for refusing, by checking first.
std::string checkedFirst(const Bytes& stream) {
  try {
    const Bytes out = decompressBytes(stream);
    return "restored " + std::string(out.begin(), out.end());
  } catch (const Failure& error) {
    return error.what();
  }
}

// The same through the one-walk restore; `limit` below the restored size makes it fall
// back to streaming.
std::string checkedWhileRestoring(const Bytes& stream, std::uint64_t limit) {
  try {
    MemorySource source(stream);
    Decompressor decompressor(source, Decompressor::CheckWhileRestoring{});
    CollectingSink sink;
    const std::optional<RestoredBytes> whole = decompressor.restoreWhole(limit);
    if (whole) {
      whole->sendTo(sink);
    } else {
      EXPECT_GT(decompressor.restoredSize(), limit);
      decompressor.restoreTo(sink);
    }
    EXPECT_EQ(sink.out.size(), decompressor.restoredSize());
    return "restored " + std::string(sink.out.begin(), sink.out.end());
  } catch (const Failure& error) {
    return error.what();
  }
}

// The same through the restore that goes on streaming from where the output outgrew
// `limit`: the sink is asked for only once the stream is known to be valid.
std::string checkedWhileRestoringTo(const Bytes& stream, std::uint64_t limit) {
  std::optional<CollectingSink> sink;
  try {
    MemorySource source(stream);
    Decompressor decompressor(source, Decompressor::CheckWhileRestoring{});
    decompressor.restoreTo(limit, [&]() -> ByteSink& {
      EXPECT_FALSE(sink) << "the sink is opened twice";
      return sink.emplace();
    });
    EXPECT_EQ(sink->out.size(), decompressor.restoredSize());
    return "restored " + std::string(sink->out.begin(), sink->out.end());
  } catch (const Failure& error) {
    EXPECT_FALSE(sink) << "opened for a refused stream";
    return error.what();
  }
}

void expectSameVerdicts(const Bytes& stream) {
  const std::string expected = checkedFirst(stream);
  for (const std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{5}, std::uint64_t{1} << 30}) {
    EXPECT_EQ(checkedWhileRestoring(stream, limit), expected) << "limit " << limit;
    EXPECT_EQ(checkedWhileRestoringTo(stream, limit), expected) << "limit " << limit;
  }
}

TEST(CheckedRestore, GeneratedAndRealInputs) {
  std::vector<test::SampleInput> inputs = test::largeSampleInputs();
  inputs.push_back({"tar", test::includeTar(test::scaled(1 << 20))});
  for (const auto& input : inputs) {
    const std::string expected = "restored " + std::string(input.bytes.begin(), input.bytes.end());
    for (const std::uint64_t limit : {std::uint64_t{UINT32_MAX}, std::uint64_t{input.bytes.size() / 2}}) {
      const Bytes stream = compressBytes(input.bytes);
      EXPECT_EQ(checkedWhileRestoring(stream, limit), expected) << input.name << ", " << limit;
      EXPECT_EQ(checkedWhileRestoringTo(stream, limit), expected) << input.name << ", " << limit;
    }
  }
}

// Nested runs, a deep chain, cycles, rules not reached, and the size bound.
TEST(CheckedRestore, BuiltGrammarsGetTheSameVerdicts) {
  constexpr std::uint32_t kA = 97, kB = 98;
  auto r = [](std::uint32_t k) { return kB + 4 + k; };
  auto build = [](const std::vector<RuleRecord>& rules) { return test::serialize(test::fieldsFor(kA, kB, rules)); };
  const std::vector<std::vector<RuleRecord>> grammars = {
      {{{}, true, 1, 5}, {{kA, kA}}, {{kA, kB}}, {{r(2)}}, {{kB, kB}}, {{r(4), r(1)}}},
      {{{r(1), r(3), r(1)}}, {{}, true, 2, 3}, {{kA, kB}}, {{kB, r(2), r(4)}}, {{r(2), kA}}},
      {{{kA, r(1)}}, {{kB, r(1)}}},
      {{{kA, r(1)}}, {{kB, r(2)}}, {{kA, r(3)}}, {{r(1)}}},
      {{{}, true, 1, 2}, {{kA}}, {{r(3), kB}}, {{r(2)}}},
      {{{kA, r(1)}}, {{kB, kA}}, {{kA, r(1)}}},
      {{{r(1), r(2)}}, {{r(2), r(2)}}, {{kA, r(1)}}},
  };
  for (const auto& rules : grammars) expectSameVerdicts(build(rules));

  constexpr std::uint32_t kDepth = 100'000;
  std::vector<RuleRecord> chain(kDepth);
  for (std::uint32_t k = 0; k + 1 < kDepth; ++k) chain[k].body = {kA + 4 + k + 1, kA};
  chain[kDepth - 1].body = {kA};
  expectSameVerdicts(test::serialize(test::fieldsFor(kA, kA, chain)));

  // Doubling rules: rule i expands to 2^(31-i) bytes; 2^31 - 512 bytes are refused,
  // however the limit cuts the walk short (the whole walk is not tried: 2 GiB).
  std::vector<RuleRecord> rules(31);
  for (std::uint32_t i = 1; i < 30; ++i) rules[i].body = {r(i + 1), r(i + 1)};
  rules[30].body = {kA, kB};
  for (std::uint32_t i = 1; i <= 30; ++i) {
    if ((((std::uint64_t{1} << 31) - 512) >> (31 - i)) & 1) rules[0].body.push_back(r(i));
  }
  EXPECT_EQ(checkedWhileRestoring(build(rules), 1 << 20), "restored data would reach 2 GiB");
  EXPECT_EQ(checkedWhileRestoringTo(build(rules), 1 << 20), "restored data would reach 2 GiB");
}

// Every truncation and bit flip of small real streams: refused with the same reason or
// restored to the same bytes.
TEST(CheckedRestore, SpoiledStreamsGetTheSameVerdicts) {
  std::mt19937 random(11);
  Bytes noise(800);
  for (auto& byte : noise) byte = static_cast<std::uint8_t>(random() % 5);
  for (const Bytes& input : {Bytes{'a', 'b', 'a', 'b', 'a', 'b', 'a', 'b', 'c'}, noise}) {
    const Bytes stream = compressBytes(input);
    for (std::size_t size = 1; size < stream.size(); ++size) {
      expectSameVerdicts(Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(size)));
    }
    for (std::size_t bit = 0; bit < stream.size() * 8; ++bit) {
      Bytes spoiled = stream;
      spoiled[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
      expectSameVerdicts(spoiled);
    }
  }
}

}  // namespace
}  // namespace quorlen
