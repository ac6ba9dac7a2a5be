// The one place where the library's failures become Error values. Building a value can
// itself run out of memory: the kind always comes back, the message when there is room.
#pragma once

#include <initializer_list>
#include <new>
#include <stdexcept>
#include <string_view>

#include "common/failure.hpp"
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

// How a message is framed: the in-memory functions give a short reason; the file
// functions give the sentence the programs print after "error : ", naming the stream's
// file when `file` is not empty.
enum class Framing { inMemory, programs };

// Call only inside a catch block: the failure being handled, as a value. A write that
// fails in memory is memory running out.
inline Error caughtError(Framing framing, std::string_view file = {}) noexcept {
  const bool programs = framing == Framing::programs;
  try {
    throw;
  } catch (const Failure& failure) {
    if (failure.kind == ErrorKind::corruptInput && programs) {
      return file.empty() ? errorValue(failure.kind, {"corrupt input: ", failure.what(), "."})
                          : errorValue(failure.kind, {"corrupt input '", file, "': ", failure.what(), "."});
    }
    if (failure.kind != ErrorKind::writeOutput || programs) return errorValue(failure.kind, {failure.what()});
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  return errorValue(ErrorKind::outOfMemory, {programs ? "out of memory." : "out of memory"});
}

}  // namespace quorlen
