// The streams of the worked examples in doc/format.md, as the compressor writes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorlen::test {

// "a": 56 bits, no padding.
inline const std::vector<std::uint8_t> kStreamA{0x61, 0x61, 0x03, 0x1D, 0x13, 0x53, 0xCB};
// "ab": 54 bits, the last byte ends in two padding bits.
inline const std::vector<std::uint8_t> kStreamAB{0x61, 0x62, 0x03, 0x1E, 0x0D, 0xD8, 0x6C};
// "aaababbbbbaa": 126 bits; rule 0 is a run over rules 1 to 5.
inline const std::vector<std::uint8_t> kStream12{0x61, 0x62, 0x05, 0x25, 0x89, 0x3E, 0xDE, 0xD3,
                                                 0xC9, 0x70, 0x74, 0x12, 0x3C, 0xC8, 0xFD, 0x74};

inline std::string asString(const std::vector<std::uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

}  // namespace quorlen::test
