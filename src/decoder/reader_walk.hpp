// Restoring any range of bytes from reader tables, without restoring what comes before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "decoder/reader_tables.hpp"

namespace quorlen {

// Copies restored bytes [offset, offset + out.size()), clipped at the restored size, into
// out and returns their number. Allocates nothing for grammars up to kInlineDepth rules
// deep; deeper ones take one array of their height, or, when even that cannot be had,
// find their way down again from the start rule whenever the kept path runs out.
std::size_t readRestored(const ReaderTables& tables, std::uint64_t offset, std::span<std::uint8_t> out) noexcept;

// The same, keeping at most `levelLimit` levels (at least 1) of the path, as a grammar
// deeper than that limit is read: the way tests exercise the fresh descents.
std::size_t readRestoredKeeping(const ReaderTables& tables, std::uint64_t offset, std::span<std::uint8_t> out,
                                std::uint32_t levelLimit) noexcept;

inline constexpr std::uint32_t kInlineDepth = 128;

}  // namespace quorlen
