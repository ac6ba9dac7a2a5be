// The reference encoder's whole run over a byte string.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quorlen::reference {

std::vector<std::uint8_t> compressBytes(std::span<const std::uint8_t> input);

}  // namespace quorlen::reference
