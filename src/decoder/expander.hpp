// Writes out the bytes a checked grammar stands for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
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

// The same bytes handed to `sink` in pieces of at most min(block, 4 MiB) bytes, with
// memory bounded by a window of recent output that later copies come from: rules written
// before the window, or longer than maxCopy, are walked again. Every `block` bytes the
// window slides down. Memory: window + block + maxCopy bytes besides the grammar.
struct StreamingLimits {
  // The versioned collection (258 MB, versions about 43 MB apart) streamed in 1.92 s of
  // CPU with a 4 MiB window and 4 MiB blocks, 0.81 s with 32 and 32, 0.69 s with 64 and
  // 32, 0.59 s with 64 and 64 (its whole restore: 0.62 s); each slide moves `window`
  // bytes, so blocks as large as the window move as many bytes as are written.
  std::size_t window = std::size_t{64} << 20;
  std::size_t block = std::size_t{64} << 20;
  std::uint32_t maxCopy = std::uint32_t{1} << 20;
};
inline constexpr std::size_t kLargestSinkWrite = std::size_t{4} << 20;
void expandStreaming(const Grammar& grammar, ByteSink& sink, const StreamingLimits& limits = {});

// expandChecking for an output that may outgrow the memory given: `out` holds the room
// for the output plus limits.maxCopy and kExpansionSlack bytes. When the output fits, it
// is left there, unsent. When it outgrows the room, the walk calls `checkAndOpen` once,
// which must check the grammar in full (throwing if it is refused) and return the sink;
// the walk then goes on as expandStreaming does, with a window of at most half the room,
// and hands the sink every byte, those made before first. Returns nullopt, as
// expandChecking does, for a grammar found unfit before the output outgrew the room.
struct CheckedExpansion {
  std::uint64_t size;
  bool streamed;
};
std::optional<CheckedExpansion> expandCheckingOrStreaming(const Grammar& grammar, std::span<std::uint8_t> out,
                                                          const StreamingLimits& limits,
                                                          const std::function<ByteSink&()>& checkAndOpen);

}  // namespace quorlen
