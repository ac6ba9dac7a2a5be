// Shared helpers of the encoder tests: an encoder over a byte string, driven phase
// by phase, and the expansions that check a grammar against its input.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "encoder/grammar_encoder.hpp"
#include "reference/grammar_encoder.hpp"
#include "support/sample_inputs.hpp"

namespace quorlen::test_support {

using Bytes = std::vector<std::uint8_t>;
using Symbols = std::vector<std::int32_t>;

inline constexpr std::int32_t E = -1;  // EndSentinel, as the examples write it

inline Bytes bytesOf(std::string_view text) { return {text.begin(), text.end()}; }
inline Bytes bytesOf(std::initializer_list<int> values) { return {values.begin(), values.end()}; }

// The phases in the order the program runs them.
enum class Phase {
  None,
  ScanByteRange,
  ReplacePairs,
  SelectRules,
  ExpandRules,
  RestructureRuns,
  BuildSymbolCode,
  BuildLengthCode,
};

// One encoder over `bytes` followed by EndSentinel, run up to and including `last`.
// The symbol buffer lives as long as the encoder, as it does in the program.
template <typename Encoder>
class EncoderRun {
 public:
  EncoderRun(const Bytes& bytes, Phase last) : symbols_(bytes.begin(), bytes.end()) {
    symbols_.push_back(E);
    encoder_ = std::make_unique<Encoder>(symbols_.data(), static_cast<std::int32_t>(symbols_.size()));
    runUpTo(last);
  }

  void runUpTo(Phase last) {
    Encoder& e = *encoder_;
    const auto step = [&](Phase phase, auto&& call) {
      if (done_ < phase && phase <= last) {
        call();
        done_ = phase;
      }
    };
    step(Phase::ScanByteRange, [&] { e.scanByteRange(); });
    step(Phase::ReplacePairs, [&] { e.replacePairs(); });
    step(Phase::SelectRules, [&] { e.selectRules(); });
    step(Phase::ExpandRules, [&] { e.expandRules(); });
    step(Phase::RestructureRuns, [&] { e.restructureRuns(); });
    step(Phase::BuildSymbolCode, [&] { e.buildSymbolCode(); });
    step(Phase::BuildLengthCode, [&] { e.buildLengthCode(); });
  }

  Encoder& operator*() { return *encoder_; }
  Encoder* operator->() { return encoder_.get(); }

 private:
  Symbols symbols_;
  std::unique_ptr<Encoder> encoder_;
  Phase done_ = Phase::None;
};

// An encoder whose fields a test sets by hand; `highByte` fixes the symbol space.
template <typename Encoder>
class HandMadeEncoder {
 public:
  explicit HandMadeEncoder(std::int32_t highByte) : symbols_{E} {
    encoder_ = std::make_unique<Encoder>(symbols_.data(), 1);
    encoder_->lowByte = 0;
    encoder_->highByte = highByte;
  }

  // Gives rule `index` the body `body`, holding exactly its symbols.
  void setBody(std::int32_t index, const Symbols& body) {
    encoder_->bodyLength.at(index) = static_cast<std::int32_t>(body.size());
    encoder_->ruleBody.at(index).assign(body.begin(), body.end());
  }

  Encoder& operator*() { return *encoder_; }
  Encoder* operator->() { return encoder_.get(); }

 private:
  Symbols symbols_;
  std::unique_ptr<Encoder> encoder_;
};

// The first `bodyLength` symbols of a rule's body.
template <typename Encoder>
Symbols bodyOf(Encoder& e, std::int32_t rule) {
  const std::int32_t length = e.bodyLength.at(rule);
  const auto& block = e.ruleBody.at(rule);
  return Symbols(block.begin(), block.begin() + length);
}

// A pair-rule symbol written out down to bytes and EndSentinel.
template <typename Encoder>
void expandPairSymbol(Encoder& e, std::int32_t symbol, Symbols& out) {
  if (symbol < e.firstRuleSymbol()) {
    out.push_back(symbol);
    return;
  }
  const std::int32_t r = symbol - e.firstRuleSymbol();
  expandPairSymbol(e, e.pairLeft.at(r), out);
  expandPairSymbol(e, e.pairRight.at(r), out);
}

// A rule body written out down to bytes, with rule symbols naming rule indices.
template <typename Encoder>
void expandRule(Encoder& e, std::int32_t rule, Symbols& out) {
  for (const std::int32_t symbol : bodyOf(e, rule)) {
    if (symbol < e.firstRuleSymbol()) {
      out.push_back(symbol);
    } else {
      expandRule(e, symbol - e.firstRuleSymbol(), out);
    }
  }
}

template <typename Encoder>
Symbols expandRule(Encoder& e, std::int32_t rule) {
  Symbols out;
  expandRule(e, rule, out);
  return out;
}

inline Symbols asSymbols(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

using test::smallSampleInputs;

}  // namespace quorlen::test_support
