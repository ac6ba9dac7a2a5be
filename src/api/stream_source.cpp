#include "api/stream_source.hpp"

#include "decoder/stream_parser.hpp"

namespace quorlen {

std::span<const std::uint8_t> FileStreamSource::next() {
  const std::size_t got = file_.read(chunk_);
  read_ += got;
  if (read_ > kMaxStreamBytes) refuseStream("longer than any stream can be");
  return std::span(chunk_).first(got);
}

std::optional<std::uint64_t> FileStreamSource::size() const {
  if (!file_.regular()) return std::nullopt;
  return static_cast<std::uint64_t>(file_.status().st_size);
}

}  // namespace quorlen
