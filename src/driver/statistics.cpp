#include "driver/statistics.hpp"

namespace quorlen {

void writeStatistics(std::ostream& out, std::int64_t inputCount, std::int64_t outputCount, double elapsed) {
  out << inputCount << " characters input." << std::endl;
  out << outputCount << " characters output." << std::endl;
  const std::int64_t reduction = inputCount > 0 ? (inputCount - outputCount) * 100 / inputCount : 0;
  out << reduction << "% reduction in size." << std::endl;
  out << elapsed << " seconds." << std::endl;
  if (elapsed > 0) {
    out << static_cast<double>(inputCount) / elapsed << " characters per second." << std::endl;
  } else {
    out << "? characters per second." << std::endl;
  }
}

}  // namespace quorlen
