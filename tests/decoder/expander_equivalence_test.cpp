// The fast expanders against the first one, kept as the reference: whole output in
// memory, and streaming through windows small enough that rules fall out of them.
#include <gtest/gtest.h>

#include <string>

#include "decoder/decompress.hpp"
#include "decoder/expander.hpp"
#include "decoder/grammar_check.hpp"
#include "decoder/stream_parser.hpp"
#include "encoder/compress.hpp"
#include "reference/reference_expander.hpp"
#include "support/sample_inputs.hpp"

namespace quorlen {
namespace {

using Bytes = std::vector<std::uint8_t>;

class BlockSink final : public ByteSink {
 public:
  explicit BlockSink(std::size_t largest) : largest_(largest) {}
  void write(std::span<const std::uint8_t> bytes) override {
    EXPECT_FALSE(bytes.empty());
    EXPECT_LE(bytes.size(), largest_);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  Bytes out;

 private:
  std::size_t largest_;
};

void expectAllExpandersAgree(const Bytes& input) {
  const Bytes stream = compressBytes(input);
  Grammar grammar = parseStream(stream);
  checkGrammar(grammar);
  const Bytes reference = test::referenceExpand(grammar, input.size());
  ASSERT_TRUE(reference == input);
  // With no short expansions stored the reference walks every rule.
  EXPECT_TRUE(test::referenceExpand(grammar, 0) == input);

  const Decompressor decompressor(stream);
  EXPECT_TRUE(decompressor.restore() == input);
  BlockSink whole(std::size_t{4} << 20);
  decompressor.restoreWholeTo(whole);
  EXPECT_TRUE(whole.out == input);
  BlockSink streamed(std::size_t{4} << 20);
  decompressor.restoreTo(streamed);
  EXPECT_TRUE(streamed.out == input);

  for (const StreamingLimits limits : {StreamingLimits{64, 32, 16}, StreamingLimits{1000, 4096, 300},
                                       StreamingLimits{1 << 16, 1 << 12, 1 << 14}}) {
    BlockSink sink(limits.block);
    expandStreaming(grammar, sink, limits);
    EXPECT_TRUE(sink.out == input) << "window " << limits.window << ", block " << limits.block;
  }
}

TEST(ExpanderEquivalence, GeneratedInputs) {
  for (const auto& input : test::largeSampleInputs()) {
    if (input.bytes.empty()) continue;
    SCOPED_TRACE(input.name);
    expectAllExpandersAgree(input.bytes);
  }
}

TEST(ExpanderEquivalence, RealFile) {
  const Bytes tar = test::includeTar(test::scaled(2 << 20));
  if (tar.empty()) GTEST_SKIP() << "no tar of /usr/include available";
  expectAllExpandersAgree(tar);
}

}  // namespace
}  // namespace quorlen
