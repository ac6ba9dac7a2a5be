// Raised when bytes cannot be handed to the output (a full disk, a closed device).
#pragma once

#include <stdexcept>

namespace quorlen {

class WriteError : public std::runtime_error {
 public:
  WriteError() : std::runtime_error("disk full while writing data") {}
};

}  // namespace quorlen
