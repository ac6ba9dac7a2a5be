// A compressed stream read from a file as it arrives, so that the parser can refuse it
// at the first field that cannot be right and never holds the whole stream.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "api/input_file.hpp"
#include "decoder/bit_reader.hpp"

namespace quorlen {

class FileStreamSource final : public ByteSource {
 public:
  explicit FileStreamSource(InputFile& file) : file_(file) {}

  // Throws Failure (corruptInput) once more bytes arrive than any stream can have.
  std::span<const std::uint8_t> next() override;
  std::optional<std::uint64_t> size() const override;
  std::uint64_t bytesRead() const { return read_; }

 private:
  InputFile& file_;
  std::uint64_t read_ = 0;
  std::array<std::uint8_t, std::size_t{1} << 16> chunk_;
};

}  // namespace quorlen
