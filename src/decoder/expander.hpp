// Writes out the bytes a checked grammar stands for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "decoder/byte_sink.hpp"
#include "decoder/grammar.hpp"
#include "decoder/grammar_check.hpp"

namespace quorlen {

// Output buffers for expandWhole carry this many spare bytes past the restored size:
// short copies move in fixed 16-byte pieces and may write up to that far beyond their end.
inline constexpr std::size_t kExpansionSlack = 32;

// Expands the start rule of a grammar that checkGrammar accepted into `out`, which holds
// the restored size plus kExpansionSlack bytes. The fast path: every rule after its
// first expansion is copied from where it was first written.
void expandWhole(const Grammar& grammar, std::span<std::uint8_t> out);

// Expands a grammar whose run ranges checkRunRanges accepted but whose structure is not
// yet checked, checking it in the same walk: the one pass over the rules does the work
// of checkGrammar and expandWhole together. `out` holds the room for the output plus
// kExpansionSlack bytes; pages past what is written are never touched, so it can be a
// reservation of the largest restorable size. Returns the restored size, or nullopt when
// checkGrammar would refuse the grammar or its output does not fit in the room (the
// caller runs checkGrammar to tell the two apart and to name the fault). Either way
// `out`'s contents are undefined on nullopt.
std::optional<std::uint64_t> expandChecking(const Grammar& grammar, std::span<std::uint8_t> out);

// The same bytes handed to `sink` in blocks of at most `block` bytes, with memory
// bounded by a window of recent output that later copies come from: rules written
// before the window, or longer than maxCopy, are walked again. Memory: window + block +
// maxCopy bytes besides the grammar.
struct StreamingLimits {
  // A 4 MiB window and 4 MiB blocks: sliding the window moves as many bytes as are
  // written (64 MiB for h64, a few ms at memcpy's 13-16 GB/s). Rules referred to from
  // further back are walked again: h64 streams in 0.375 s of CPU against 0.223 s for
  // expandWhole plus 0.19 s for zeroing fresh output memory (loaded machine).
  std::size_t window = std::size_t{4} << 20;
  std::size_t block = std::size_t{4} << 20;
  std::uint32_t maxCopy = std::uint32_t{1} << 20;
};
void expandStreaming(const Grammar& grammar, ByteSink& sink, const StreamingLimits& limits = {});

}  // namespace quorlen
