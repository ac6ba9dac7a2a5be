// Failures become values here, and building one can itself run out of memory: the kind
// always comes back, the message when there is room for it.
#pragma once

#include <initializer_list>
#include <string_view>

#include "quorlen/quorlen.hpp"

namespace quorlen {

inline Error errorValue(ErrorKind kind, std::initializer_list<std::string_view> parts) noexcept {
  Error error;
  error.kind = kind;
  try {
    std::string message;
    for (const std::string_view part : parts) message += part;
    error.message = std::move(message);
  } catch (...) {  // only memory can fail here; the message stays empty
  }
  return error;
}

}  // namespace quorlen
