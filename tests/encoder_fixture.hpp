// Shared helpers of the encoder tests: an encoder over a byte string, driven phase
// by phase, and the expansions that check a grammar against its input.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
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

template <typename Encoder>
inline constexpr bool kIsReference = std::is_same_v<Encoder, reference::GrammarEncoder>;

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
    if constexpr (kIsReference<Encoder>) {
      encoder_->bodyLength.at(index) = static_cast<std::int32_t>(body.size());
      encoder_->ruleBody.at(index).assign(body.begin(), body.end());
    } else {
      encoder_->setBody(index, body);
    }
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
  if constexpr (kIsReference<Encoder>) {
    const auto& block = e.ruleBody.at(rule);
    return Symbols(block.begin(), block.begin() + length);
  } else {
    const std::span<const std::int32_t> body = e.body(rule);
    return Symbols(body.begin(), body.end());
  }
}

// A code as text, '0' and '1', most significant first: the reference keeps it so.
inline std::string codeText(const std::string& code) { return code; }
inline std::string codeText(const CodeWord& code) { return toBitString(code.bits, code.length); }

// Sets a code given as text, whichever way the table keeps it.
inline void setCode(std::string& code, const std::string& text) { code = text; }
inline void setCode(CodeWord& code, const std::string& text) {
  code = CodeWord{bitStringValue(text), static_cast<std::int32_t>(text.size())};
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

// The library's encoder stops pair replacement once no pair occurs twice and leaves
// that sequence as the root's body; the reference goes on to pair it up into rules
// of one use, the root the last of them.
template <typename Encoder>
inline constexpr bool kPairsUpRemainder = kIsReference<Encoder>;

// ruleOrder's entry for the root.
template <typename Encoder>
std::int32_t rootRule(Encoder& e) {
  if constexpr (kPairsUpRemainder<Encoder>) {
    return e.nextSymbol - e.firstRuleSymbol() - 1;
  } else {
    return kRootRule;
  }
}

// Rules made while some pair occurred twice: all of the library's, the reference's
// up to its first rule of one use.
template <typename Encoder>
std::int32_t passRuleCount(Encoder& e) {
  const std::int32_t rules = e.nextSymbol - e.firstRuleSymbol();
  if constexpr (kPairsUpRemainder<Encoder>) {
    std::int32_t r = 0;
    while (r < rules && e.pairUses.at(r) != 1) ++r;
    return r;
  } else {
    return rules;
  }
}

// The sequence left when no pair occurs twice, EndSentinel last: the library's
// encoder keeps it; in the reference it is what its rules of one use spell out.
template <typename Encoder>
Symbols remainderOf(Encoder& e) {
  if constexpr (kPairsUpRemainder<Encoder>) {
    Symbols out;
    std::vector<std::int32_t> pending{e.sequence[0]};
    while (!pending.empty()) {
      const std::int32_t s = pending.back();
      pending.pop_back();
      if (s >= e.firstRuleSymbol() && e.pairUses.at(s - e.firstRuleSymbol()) == 1) {
        pending.push_back(e.pairRight.at(s - e.firstRuleSymbol()));
        pending.push_back(e.pairLeft.at(s - e.firstRuleSymbol()));
      } else {
        out.push_back(s);
      }
    }
    return out;
  } else {
    return Symbols(e.sequence, e.sequence + e.sequenceLength);
  }
}

using test::smallSampleInputs;

}  // namespace quorlen::test_support
