// unquorlen's command line: a mode, its value and the file names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorlen {

struct UnquorlenOptions {
  enum class Mode { restore, range, list, test, help, version };
  Mode mode = Mode::restore;
  std::uint64_t offset = 0;  // --range OFFSET:LENGTH
  std::uint64_t length = 0;
  std::vector<std::string> files;
};

// Empty when the command line is not one unquorlen takes: an unknown option, a bad or
// missing value, two modes, or too few files for the mode.
std::optional<UnquorlenOptions> parseUnquorlenOptions(int argc, const char* const* argv);

}  // namespace quorlen
