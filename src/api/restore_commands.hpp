// What unquorlen does besides restoring a whole file (decompressFile, in the public
// header): restore a range, and check a stream to tell its sizes. Each checks the whole
// stream, as it arrives, before it writes anything.
#pragma once

#include <cstdint>
#include <string>

#include "quorlen/quorlen.hpp"

namespace quorlen {

// Writes the restored bytes [offset, offset + length) of the stream in `input` to
// `output`, clipped at the end of the restored data. "-" names standard input or output.
// A refused stream leaves no output file.
Error restoreRange(const std::string& input, const std::string& output, std::uint64_t offset,
                   std::uint64_t length) noexcept;

struct StreamSummary {
  std::uint64_t streamBytes = 0;
  std::uint64_t restoredBytes = 0;
  std::uint32_t rules = 0;
};

// Checks the stream in `input` and tells its sizes and number of rules, from the grammar
// alone: nothing is restored. Corrupt streams name the file in the message.
Error summarizeStream(const std::string& input, StreamSummary& summary) noexcept;

}  // namespace quorlen
