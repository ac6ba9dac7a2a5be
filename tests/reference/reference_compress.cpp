#include "reference/reference_compress.hpp"

#include <sstream>

#include "reference/grammar_encoder.hpp"

namespace quorlen::reference {

std::vector<std::uint8_t> compressBytes(std::span<const std::uint8_t> input) {
  std::ostringstream out;
  if (!input.empty()) {
    std::vector<std::int32_t> symbols(input.begin(), input.end());
    symbols.push_back(EndSentinel);
    BitOutputStream stream(out);
    GrammarEncoder encoder(symbols.data(), static_cast<std::int32_t>(symbols.size()));
    encoder.scanByteRange();
    encoder.replacePairs();
    encoder.selectRules();
    encoder.expandRules();
    encoder.restructureRuns();
    encoder.buildSymbolCode();
    encoder.buildLengthCode();
    encoder.writeStream(stream);
    stream.close();
  }
  const std::string bytes = std::move(out).str();
  return {bytes.begin(), bytes.end()};
}

}  // namespace quorlen::reference
