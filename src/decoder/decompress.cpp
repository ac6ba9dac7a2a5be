#include "decoder/decompress.hpp"

#include <algorithm>

#include "decoder/expander.hpp"
#include "decoder/grammar_check.hpp"
#include "decoder/stream_parser.hpp"
#include "encoder/release_storage.hpp"

namespace quorlen {
namespace {

class VectorSink final : public ByteSink {
 public:
  explicit VectorSink(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}
  void write(std::span<const std::uint8_t> bytes) override { bytes_.insert(bytes_.end(), bytes.begin(), bytes.end()); }

 private:
  std::vector<std::uint8_t>& bytes_;
};

}  // namespace

Decompressor::Decompressor(std::span<const std::uint8_t> stream) {
  if (stream.empty()) return;
  BitReader in(stream);
  check(in);
}

Decompressor::Decompressor(ByteSource& source) {
  BitReader in(source);
  in.refill();
  if (in.available() == 0) return;  // an empty stream
  check(in);
}

void Decompressor::check(BitReader& in) {
  grammar_ = parseStream(in);
  const std::uint64_t streamBytes = in.position() / 8;
  // Short expansions make restoring several times faster; they may take up to twice
  // the stream's size (and never so much that their offsets would leave 32 bits).
  const std::size_t budget = std::min<std::size_t>(2 * streamBytes + (std::size_t{1} << 20), std::size_t{1} << 30);
  checkGrammar(grammar_, budget);
  restoredSize_ = grammar_.expandedSize[0];
  releaseStorage(grammar_.expandedSize);  // the expansion itself needs only the short rules' bytes
}

void Decompressor::restoreTo(ByteSink& sink) const {
  if (restoredSize_ != 0) expandGrammar(grammar_, sink);
}

std::vector<std::uint8_t> decompressBytes(std::span<const std::uint8_t> stream) {
  const Decompressor decompressor(stream);
  std::vector<std::uint8_t> bytes;
  bytes.reserve(decompressor.restoredSize());
  VectorSink sink(bytes);
  decompressor.restoreTo(sink);
  return bytes;
}

}  // namespace quorlen
