// Hand-built streams: the examples of doc/format.md, valid grammars of unusual shape, and one
// spoiled field at a time, each with the rejection it must get.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "decoder/canonical_decoder.hpp"
#include "decoder/decompress.hpp"
#include "stream_builder.hpp"
#include "support/example_streams.hpp"

namespace quorlen {
namespace {

using test::RuleRecord;
using test::StreamFields;
using Bytes = std::vector<std::uint8_t>;

std::string decodeText(const Bytes& stream) {
  const Bytes out = decompressBytes(stream);
  return std::string(out.begin(), out.end());
}

// The reason the decoder gives, or "accepted".
std::string rejection(const Bytes& stream) {
  try {
    decompressBytes(stream);
  } catch (const Failure& error) {
    return error.what();
  }
  return "accepted";
}

#define EXPECT_REJECTED(stream, reason) EXPECT_PRED_FORMAT2(::testing::IsSubstring, reason, rejection(stream))

constexpr std::uint32_t kA = 97, kB = 98;
// Symbol of rule k when the bytes are a .. b.
constexpr std::uint32_t r(std::uint32_t k) { return kB + 4 + k; }

using test::kStream12;
using test::kStreamA;
using test::kStreamAB;

// The twelve-byte example "aaababbbbbaa" in final numbering: rule 0 a run over
// rules 1..5, where 3 = (rule 2) and 5 = (rule 4, rule 1) are stretch rules.
std::vector<RuleRecord> exampleGrammar() {
  return {{{}, true, 1, 5}, {{kA, kA}}, {{kA, kB}}, {{r(2)}}, {{kB, kB}}, {{r(4), r(1)}}};
}

Bytes build(const std::vector<RuleRecord>& rules) { return test::serialize(test::fieldsFor(kA, kB, rules)); }

template <typename Edit>
Bytes buildEdited(std::uint32_t low, std::uint32_t high, const std::vector<RuleRecord>& rules, Edit edit) {
  StreamFields fields = test::fieldsFor(low, high, rules);
  edit(fields);
  return test::serialize(fields);
}

template <typename Edit>
Bytes buildEdited(const std::vector<RuleRecord>& rules, Edit edit) {
  return buildEdited(kA, kB, rules, edit);
}

// Gives `unused` a code by splitting the leaf of `donor`: the code stays complete.
void splitLeaf(StreamFields& f, std::uint32_t donor, std::uint32_t unused) {
  auto& lengths = f.symbolLengths;
  ASSERT_NE(lengths[donor - f.lowByte], 0u);
  lengths[donor - f.lowByte] += 1;
  lengths[unused - f.lowByte] = lengths[donor - f.lowByte];
}

TEST(ExampleStreams, DecodeToTheirInputs) {
  EXPECT_EQ(decodeText(kStreamA), "a");
  EXPECT_EQ(decodeText(kStreamAB), "ab");
  EXPECT_EQ(decodeText(kStream12), "aaababbbbbaa");
  EXPECT_TRUE(decompressBytes({}).empty());
}

TEST(BuiltStreams, ValidGrammarsDecode) {
  EXPECT_EQ(decodeText(build(exampleGrammar())), "aaababbbbbaa");

  // Byte values 0 and 255 at the edges of the range.
  const std::uint32_t rule1 = 255 + 4 + 1;
  EXPECT_EQ(decodeText(test::serialize(test::fieldsFor(0, 255, {{{rule1, 0, rule1}}, {{255, 0}}}))),
            std::string("\xff\0\0\xff\0", 5));

  // A chain nested 300000 rules deep must not exhaust the machine stack.
  constexpr std::uint32_t kDepth = 300'000;
  std::vector<RuleRecord> chain(kDepth);
  for (std::uint32_t k = 0; k + 1 < kDepth; ++k) chain[k].body = {kA + 4 + k + 1, kA};
  chain[kDepth - 1].body = {kA};
  EXPECT_EQ(decodeText(test::serialize(test::fieldsFor(kA, kA, chain))), std::string(kDepth, 'a'));
}

TEST(CanonicalDecoder, DecodesLongCodesAndRefusesBadLengths) {
  // Lengths 1, 2, ..., 40, 40: most codes are longer than the primary table.
  std::vector<std::uint32_t> lengths;
  for (std::uint32_t l = 1; l <= 40; ++l) lengths.push_back(l);
  lengths.push_back(40);
  const auto codes = test::canonicalCodes(lengths);
  std::string bits;
  for (std::size_t v = lengths.size(); v-- > 0;) {
    for (std::uint32_t i = lengths[v]; i-- > 0;) bits.push_back(((codes[v] >> i) & 1) ? '1' : '0');
  }
  const Bytes stream = test::replaceBits({}, 0, 0, bits.c_str());
  const std::vector<std::uint8_t> narrow(lengths.begin(), lengths.end());
  const CanonicalDecoder decoder(narrow, "test code");
  BitReader in(stream);
  for (std::size_t v = lengths.size(); v-- > 0;) EXPECT_EQ(decoder.decode(in), v);
  EXPECT_LT(in.remaining(), 8u);

  auto reason = [](std::vector<std::uint8_t> lengths) -> std::string {
    try {
      CanonicalDecoder(lengths, "code");
    } catch (const Failure& error) {
      return error.what();
    }
    return "accepted";
  };
  EXPECT_EQ(reason({1}), "code has fewer than two codes");
  EXPECT_EQ(reason({0, 0}), "code has fewer than two codes");
  EXPECT_EQ(reason({1, 1, 1}), "code is over-subscribed");
  EXPECT_EQ(reason({1, 2}), "code is incomplete");
  EXPECT_EQ(reason({1, 57, 57}), "code has a code longer than 56 bits");
  EXPECT_EQ(reason({0, 1, 0, 1}), "accepted");
}

TEST(BuiltStreams, HeaderFaults) {
  const Bytes valid = build(exampleGrammar());
  {
    Bytes spoiled = valid;
    spoiled[0] = 99;  // lowByte above highByte
    EXPECT_REJECTED(spoiled, "lowest byte value is above the highest");
  }
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [](StreamFields& f) { f.symbolTableSize = 5; }), "no room for a rule");
  // Two billion symbols claimed by a 20-byte stream are refused before any allocation.
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [](StreamFields& f) { f.symbolTableSize = 0x7fffffff; }),
                  "stream ends inside the header");
  // symbolTableSize 11 written as 00100 1011; the same number with a leading zero bit.
  EXPECT_REJECTED(test::replaceBits(valid, 24, 9, "0010101011"), "leading zero bit");
  // lengthTableSize 0, 1 and 58.
  EXPECT_REJECTED(test::replaceBits(valid, 16, 8, "00000001"), "code-length table is too short");
  EXPECT_REJECTED(test::replaceBits(valid, 16, 8, "00111010"), "goes beyond 56-bit codes");
  for (std::size_t size = 1; size < 7; ++size) {
    EXPECT_REJECTED(Bytes(kStreamA.begin(), kStreamA.begin() + static_cast<std::ptrdiff_t>(size)), "stream ends inside");
  }
}

TEST(BuiltStreams, CodeLengthCodeFaults) {
  const StreamFields fields = test::fieldsFor(kA, kB, exampleGrammar());
  const auto entries = test::lengthEntriesFor(fields.symbolLengths);
  auto withEntries = [&](std::vector<std::uint32_t> spoiled) {
    StreamFields f = fields;
    f.lengthEntries = std::move(spoiled);
    return test::serialize(f);
  };
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [](StreamFields& f) { f.lengthWidth = 5; }), "wider than needed");
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [](StreamFields& f) { f.lengthWidth = 0; }), "have no bits");
  EXPECT_REJECTED(withEntries(std::vector<std::uint32_t>(entries.size(), 1)), "code-length code is over-subscribed");
  {
    auto longer = entries;
    longer.push_back(0);
    EXPECT_REJECTED(withEntries(longer), "code-length table is longer than needed");
  }
  {
    auto incomplete = entries;
    *std::max_element(incomplete.begin(), incomplete.end()) += 1;
    EXPECT_REJECTED(withEntries(incomplete), "code-length code is incomplete");
  }
  {
    auto noZero = entries;
    noZero[0] = 0;
    EXPECT_REJECTED(withEntries(noZero), "no code for length 0");
  }
  {
    // A code for one length more than any symbol has.
    std::vector<std::uint64_t> histogram(entries.size() + 1, 0);
    for (const auto length : fields.symbolLengths) ++histogram[length];
    histogram.back() = 1;
    EXPECT_REJECTED(withEntries(test::huffmanLengths(histogram)),
                    "code for length " + std::to_string(entries.size()) + ", which no symbol has");
  }
}

TEST(BuiltStreams, SymbolCodeFaults) {
  auto longest = [](StreamFields& f) -> std::uint32_t& {
    return *std::max_element(f.symbolLengths.begin(), f.symbolLengths.end());
  };
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [&](StreamFields& f) { longest(f) -= 1; }),
                  "symbol code is over-subscribed");
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [&](StreamFields& f) { longest(f) += 1; }), "symbol code is incomplete");
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [&](StreamFields& f) { splitLeaf(f, r(1), r(0)); }),
                  "start rule's own symbol has a code");
  // A rule that occurs only inside a run needs no code; one with a code is a fault.
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [&](StreamFields& f) { splitLeaf(f, r(1), r(3)); }),
                  "rule 3 has a code but never occurs");
  // The run marker in a stream without runs, a byte no rule holds, the end marker.
  EXPECT_REJECTED(buildEdited({{{kA, r(1), r(1)}}, {{kA, kB}}}, [&](StreamFields& f) { splitLeaf(f, kA, f.runMarker()); }),
                  "the run marker has a code but never occurs");
  EXPECT_REJECTED(buildEdited(kA, 99, {{{kA, 99}}}, [](StreamFields& f) { splitLeaf(f, kA, kB); }),
                  "byte 98 has a code but never occurs");
  // Of several such symbols the lowest is named, though byte 100's code is shorter.
  EXPECT_REJECTED(buildEdited(kA, 101, {{{kA, 101}}}, [](StreamFields& f) {
                    splitLeaf(f, kA, kB);
                    splitLeaf(f, kB, 99);
                    splitLeaf(f, 101, 100);
                  }),
                  "byte 98 has a code but never occurs");
  EXPECT_REJECTED(buildEdited(kA, 99, {{{kA, kB, 99}}}, [](StreamFields& f) { splitLeaf(f, kB, 99 + 4 + 0); }),
                  "start rule's own symbol has a code");
  // The bytes at both ends of the range occur in every input.
  EXPECT_REJECTED(test::serialize(test::fieldsFor(kA, 99, {{{kA, kB}}})), "lowest or highest byte value has no code");
}

TEST(BuiltStreams, MisplacedMarkersAndRuns) {
  // Tokens of {a r1 | a b}: a r1 END a b END.
  const std::vector<RuleRecord> two{{{kA, r(1)}}, {{kA, kB}}};
  EXPECT_REJECTED(buildEdited(two, [](StreamFields& f) { f.rules.insert(f.rules.begin() + 3, {false, f.endRule()}); }),
                  "rule 1 has an empty body");
  EXPECT_REJECTED(buildEdited(two, [](StreamFields& f) { f.rules.resize(3); }), "end marker after 1 of 2 rules");
  // Tokens of {run 1,2 | a b | b a}: r1 RUN 2 a b END b a END.
  const std::vector<RuleRecord> run{{{}, true, 1, 2}, {{kA, kB}}, {{kB, kA}}};
  ASSERT_EQ(decodeText(build(run)), "abba");
  EXPECT_REJECTED(buildEdited(run, [](StreamFields& f) { f.rules[0] = {false, kA}; }), "run marker inside the body of rule 0");
  EXPECT_REJECTED(buildEdited(run, [](StreamFields& f) { f.rules.insert(f.rules.begin() + 1, {false, kA}); }),
                  "run marker inside the body of rule 0");
  EXPECT_REJECTED(build({{{}, true, 1, 1}, {{kA, kB}}}), "shorter than two rules");
  EXPECT_REJECTED(build({{{}, true, 1, 3}, {{kA, kB}}, {{kB, kA}}}), "reaches past the last rule");
  EXPECT_REJECTED(build({{{}, true, 1, 2}, {{}, true, 2, 2}, {{kB, kA}}, {{kA}}}), "runs overlap at rule 2");
  EXPECT_REJECTED(build({{{}, true, 2, 2}, {{kA, kB}}, {{kB, kA}}, {{kA}}}), "runs leave a gap before rule 2");
  EXPECT_REJECTED(build({{{}, true, 1, 2}, {{kA, kB}}, {{}, true, 0, 2}}), "start rule's own symbol has a code");
}

TEST(BuiltStreams, GrammarStructureFaults) {
  EXPECT_REJECTED(build({{{kA, r(1)}}, {{kB, r(1)}}}), "rule 1 refers to itself");
  EXPECT_REJECTED(build({{{kA, r(1)}}, {{kB, r(2)}}, {{kA, r(3)}}, {{r(1)}}}), "rule 1 refers to itself");
  EXPECT_REJECTED(build({{{}, true, 1, 2}, {{kA}}, {{r(3), kB}}, {{r(2)}}}), "rule 2 refers to itself");
  EXPECT_REJECTED(build({{{kA, r(1)}}, {{kB, kA}}, {{kA, r(1)}}}), "rule 2 is not reached from the start rule");

  // Doubling rules: rule i (1..30) expands to 2^(31-i) bytes. 2^31 - 513 bytes are
  // accepted (checked, not restored), one more is refused.
  std::vector<RuleRecord> rules(31);
  for (std::uint32_t i = 1; i < 30; ++i) rules[i].body = {r(i + 1), r(i + 1)};
  rules[30].body = {kA, kB};
  const std::uint64_t size = (std::uint64_t{1} << 31) - 513;
  for (std::uint32_t i = 1; i <= 30; ++i) {
    if ((size >> (31 - i)) & 1) rules[0].body.push_back(r(i));
  }
  rules[0].body.push_back(kA);
  EXPECT_EQ(Decompressor(build(rules)).restoredSize(), size);
  rules[0].body.push_back(kB);
  EXPECT_REJECTED(build(rules), "restored data would reach 2 GiB");
}

TEST(BuiltStreams, EndOfStreamFaults) {
  Bytes extra = kStreamA;
  extra.push_back(0);
  EXPECT_REJECTED(extra, "data after the end marker");
  Bytes padded = kStreamAB;
  padded.back() |= 1;  // the last two bits of this stream are padding
  EXPECT_REJECTED(padded, "non-zero padding after the end marker");
  EXPECT_REJECTED(buildEdited(exampleGrammar(), [](StreamFields& f) { f.rules.push_back({false, kA}); }),
                  "no end marker after the last rule");
}

}  // namespace
}  // namespace quorlen
