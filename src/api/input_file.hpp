// Reading the input file: once to count its bytes, once to store them as symbols.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace quorlen {

// Counts the bytes up to the end of `input` and rewinds it. Fails when the file
// cannot be read, or when it holds too many bytes to compress.
std::int64_t countInputBytes(std::istream& input, const std::string& path);

// Reads `count` bytes as the symbols 0..255 followed by one EndSentinel.
std::vector<std::int32_t> readInputSymbols(std::istream& input, const std::string& path, std::int64_t count);

}  // namespace quorlen
