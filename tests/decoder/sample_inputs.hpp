// Inputs of many shapes for round trips, sized by QUORLEN_TEST_SCALE (default 1.0;
// 0.1 makes every generated input ten times shorter).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorlen::test {

struct SampleInput {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// Scaled size, at least 1.
std::size_t scaled(std::size_t size);

std::vector<SampleInput> sampleInputs();

// A name-sorted tar of part of /usr/include, cut to at most `limit` bytes (empty when
// tar is not available).
std::vector<std::uint8_t> includeTar(std::size_t limit);

}  // namespace quorlen::test
