// Random access to restored bytes: the stream is checked as decompress() checks it, then
// only the reader tables are kept, and every read walks them from the start rule.

#include "api/error_value.hpp"
#include "api/reader_access.hpp"
#include "common/failure.hpp"
#include "decoder/grammar_check.hpp"
#include "decoder/reader_tables.hpp"
#include "decoder/reader_walk.hpp"
#include "decoder/stream_parser.hpp"
#include "quorlen/quorlen.hpp"

namespace quorlen {

struct Reader::State {
  ReaderTables tables;
};

Reader::Reader() = default;
Reader::~Reader() = default;
Reader::Reader(Reader&&) noexcept = default;
Reader& Reader::operator=(Reader&&) noexcept = default;

std::uint64_t Reader::size() const noexcept { return state_ ? state_->tables.restoredSize : 0; }

std::size_t Reader::read(std::uint64_t offset, std::span<std::uint8_t> out) const noexcept {
  return state_ ? readRestored(state_->tables, offset, out) : 0;
}

// The same checks, in the same order, as decompress(): parse, then check the structure.
// No short expansions are asked of the check, as the tables keep their own.
Reader ReaderAccess::open(BitReader& in) {
  Grammar grammar = parseStream(in);
  checkGrammar(grammar);
  Reader reader;
  reader.state_ = std::make_unique<const Reader::State>(Reader::State{buildReaderTables(std::move(grammar), in.position() / 8)});
  return reader;
}

ReaderResult openReader(std::span<const std::uint8_t> stream) noexcept {
  ReaderResult result;
  if (stream.empty()) return result;  // restores nothing, as decompress() says
  try {
    BitReader in(stream);
    result.reader = ReaderAccess::open(in);
  } catch (...) {
    result.error = caughtError(Framing::inMemory);
  }
  return result;
}

}  // namespace quorlen
