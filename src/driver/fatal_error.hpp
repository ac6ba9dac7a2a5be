// A failure that ends the run: the driver prints "error : " and the message.
#pragma once

#include <stdexcept>
#include <string>

namespace quorlen {

class FatalError : public std::runtime_error {
 public:
  explicit FatalError(const std::string& message) : std::runtime_error(message) {}
};

[[noreturn]] inline void fail(const std::string& message) { throw FatalError(message); }

}  // namespace quorlen
