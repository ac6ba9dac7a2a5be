// Inputs of many shapes, in two sizes: small ones that every encoder phase and the
// reference encoder handle quickly, and large ones for round trips.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorlen::test {

struct SampleInput {
  std::string name;
  std::vector<std::uint8_t> bytes;
};

// Repeats at several scales, runs, overlapping pairs, full byte ranges; up to 5000 bytes.
std::vector<SampleInput> smallSampleInputs();

// Up to a few MiB, each generated size scaled by QUORLEN_TEST_SCALE (default 1.0; 0.1
// makes every generated input ten times shorter).
std::vector<SampleInput> largeSampleInputs();

// `size` scaled by QUORLEN_TEST_SCALE, at least 1.
std::size_t scaled(std::size_t size);

// A name-sorted tar of part of /usr/include, cut to at most `limit` bytes (empty when
// tar is not available).
std::vector<std::uint8_t> includeTar(std::size_t limit);

}  // namespace quorlen::test
