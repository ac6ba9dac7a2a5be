// The five lines a successful run prints.
#pragma once

#include <cstdint>
#include <ostream>

namespace quorlen {

// `elapsed` is in seconds; the speed line shows "?" when no time was measured.
void writeStatistics(std::ostream& out, std::int64_t inputCount, std::int64_t outputCount, double elapsed);

}  // namespace quorlen
