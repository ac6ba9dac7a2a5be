// The one exception the decoder throws for a stream it refuses.
#pragma once

#include <stdexcept>
#include <string>

namespace quorlen {

// what() is a short lower-case reason such as "stream ends inside the rule list",
// without a leading "error : " and without a final period, so that callers can
// frame it as they like (the program prints "error : corrupt input: <reason>.").
class CorruptStreamError : public std::runtime_error {
 public:
  explicit CorruptStreamError(const std::string& reason) : std::runtime_error(reason) {}
};

}  // namespace quorlen
