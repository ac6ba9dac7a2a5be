// Where restored bytes go.
#pragma once

#include <cstdint>
#include <span>

namespace quorlen {

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Receives the next block of restored bytes; may throw to stop the expansion.
  virtual void write(std::span<const std::uint8_t> bytes) = 0;
};

}  // namespace quorlen
