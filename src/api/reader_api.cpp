// Random access to restored bytes. This first version restores the whole stream once
// when it is opened and copies reads out of that.
#include <algorithm>
#include <cstring>
#include <new>

#include "quorlen/quorlen.hpp"

namespace quorlen {

struct Reader::State {
  std::vector<std::uint8_t> bytes;
};

Reader::Reader() = default;
Reader::~Reader() = default;
Reader::Reader(Reader&&) noexcept = default;
Reader& Reader::operator=(Reader&&) noexcept = default;

std::uint64_t Reader::size() const noexcept { return state_ ? state_->bytes.size() : 0; }

std::size_t Reader::read(std::uint64_t offset, std::span<std::uint8_t> out) const noexcept {
  const std::uint64_t total = size();
  if (offset >= total) return 0;
  const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), total - offset));
  std::memcpy(out.data(), state_->bytes.data() + offset, count);
  return count;
}

ReaderResult openReader(std::span<const std::uint8_t> stream) noexcept {
  ReaderResult result;
  DecompressResult restored = decompress(stream);
  if (!restored.ok()) {
    result.error = std::move(restored.error);
    return result;
  }
  auto* state = new (std::nothrow) Reader::State{std::move(restored.bytes)};
  if (state == nullptr) {
    result.error.kind = ErrorKind::outOfMemory;
    return result;
  }
  result.reader.state_.reset(state);
  return result;
}

}  // namespace quorlen
