// The one exception the library throws inside itself: a failure with the kind that callers
// see and a short sentence. The public functions turn it into an Error value in one place
// (api/error_value.hpp); nothing else is thrown but std::bad_alloc.
#pragma once

#include <stdexcept>
#include <string>

#include "quorlen/quorlen.hpp"

namespace quorlen {

class Failure : public std::runtime_error {
 public:
  Failure(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind(kind) {}
  ErrorKind kind;
};

[[noreturn]] inline void fail(ErrorKind kind, const std::string& message) { throw Failure(kind, message); }

// A stream the decoder refuses. The reason is short and lower case, without a final
// period ("stream ends inside the rule list"), so that each caller can frame it.
[[noreturn]] inline void refuseStream(const std::string& reason) { fail(ErrorKind::corruptInput, reason); }

// The sentence of every failure to write an output.
inline constexpr const char* kDiskFull = "disk full while writing data.";

}  // namespace quorlen
