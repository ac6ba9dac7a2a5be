#include "encoder/compress.hpp"

#include <sstream>

#include "common/failure.hpp"
#include "encoder/grammar_encoder.hpp"
#include "encoder/release_storage.hpp"

namespace quorlen {

void encodeSymbols(std::vector<std::int32_t>& symbols, BitOutputStream& stream) {
  GrammarEncoder encoder(symbols.data(), static_cast<std::int32_t>(symbols.size()));
  encoder.scanByteRange();
  encoder.replacePairs();
  encoder.selectRules();
  encoder.expandRules();
  // The root's body now holds what pair replacement left in the buffer.
  encoder.sequence = nullptr;
  encoder.sequenceLength = 0;
  releaseStorage(symbols);
  // The bodies now hold all that later phases need of the pair rules.
  encoder.pairLeft.clear();
  encoder.pairRight.clear();
  encoder.pairUses.clear();
  encoder.keptIndex.clear();
  encoder.restructureRuns();
  encoder.buildSymbolCode();
  encoder.buildLengthCode();
  encoder.writeStream(stream);
}

std::vector<std::uint8_t> compressBytes(std::span<const std::uint8_t> input, std::int64_t* wholeBytes) {
  if (static_cast<std::int64_t>(input.size()) >= kMaxInputSize) {
    fail(ErrorKind::inputTooLarge, "input too large: it must be below " + std::to_string(kMaxInputSize) + " bytes");
  }
  std::ostringstream out;
  if (wholeBytes) *wholeBytes = 0;
  if (!input.empty()) {
    std::vector<std::int32_t> symbols(input.begin(), input.end());
    symbols.push_back(EndSentinel);
    BitOutputStream stream(out);
    encodeSymbols(symbols, stream);
    if (wholeBytes) *wholeBytes = stream.putPosition();
    stream.close();
  }
  const std::string bytes = std::move(out).str();
  return {bytes.begin(), bytes.end()};
}

}  // namespace quorlen
