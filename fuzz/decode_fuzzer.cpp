// Arbitrary bytes as a compressed stream: the decoder may refuse them but must never
// crash, leak or hang, and an accepted stream must restore to its announced size.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "decoder/decompress.hpp"

namespace {

class CountingSink final : public quorlen::ByteSink {
 public:
  void write(std::span<const std::uint8_t> bytes) override { count += bytes.size(); }
  std::uint64_t count = 0;
};

// Valid streams of a few kilobytes can stand for up to 2 GiB; restoring those would
// only test patience.
constexpr std::uint64_t kMaxRestore = std::uint64_t{64} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const quorlen::Decompressor decompressor(std::span<const std::uint8_t>(data, size));
    if (decompressor.restoredSize() <= kMaxRestore) {
      CountingSink sink;
      decompressor.restoreTo(sink);
      if (sink.count != decompressor.restoredSize()) std::abort();
    }
  } catch (const quorlen::CorruptStreamError&) {
  }
  return 0;
}
