#include "driver/unquorlen_options.hpp"

#include <charconv>
#include <string_view>

namespace quorlen {

namespace {

// A decimal number of 64 bits at most, digits only.
std::optional<std::uint64_t> parseNumber(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool parseRange(std::string_view text, UnquorlenOptions& options) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  const auto offset = parseNumber(text.substr(0, colon));
  const auto length = parseNumber(text.substr(colon + 1));
  if (!offset || !length) return false;
  options.offset = *offset;
  options.length = *length;
  return true;
}

}  // namespace

std::optional<UnquorlenOptions> parseUnquorlenOptions(int argc, const char* const* argv) {
  UnquorlenOptions options;
  bool modeGiven = false;
  const auto setMode = [&](UnquorlenOptions::Mode mode) {
    if (modeGiven) return false;
    modeGiven = true;
    options.mode = mode;
    return true;
  };
  int k = 1;
  for (; k < argc; ++k) {
    const std::string_view word = argv[k];
    if (word == "--") {
      ++k;
      break;
    }
    if (word.size() < 2 || word[0] != '-') break;  // "-" alone is a file: standard input or output
    bool known = true;
    if (word == "-l" || word == "--list") {
      known = setMode(UnquorlenOptions::Mode::list);
    } else if (word == "-t" || word == "--test") {
      known = setMode(UnquorlenOptions::Mode::test);
    } else if (word == "--help" || word == "-h") {
      known = setMode(UnquorlenOptions::Mode::help);
    } else if (word == "--version" || word == "-V") {
      known = setMode(UnquorlenOptions::Mode::version);
    } else if (word == "--range" && k + 1 < argc) {
      known = setMode(UnquorlenOptions::Mode::range) && parseRange(argv[++k], options);
    } else if (word.starts_with("--range=")) {
      known = setMode(UnquorlenOptions::Mode::range) && parseRange(word.substr(8), options);
    } else {
      known = false;
    }
    if (!known) return std::nullopt;
  }
  for (; k < argc; ++k) options.files.emplace_back(argv[k]);

  switch (options.mode) {
    case UnquorlenOptions::Mode::help:
    case UnquorlenOptions::Mode::version:
      return options;
    case UnquorlenOptions::Mode::list:
    case UnquorlenOptions::Mode::test:
      if (options.files.empty()) return std::nullopt;
      return options;
    case UnquorlenOptions::Mode::restore:
    case UnquorlenOptions::Mode::range:
      // Names after the second are ignored, as they always were.
      if (options.files.size() < 2) return std::nullopt;
      options.files.resize(2);
      return options;
  }
  return std::nullopt;
}

}  // namespace quorlen
