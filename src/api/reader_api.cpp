// Random access to restored bytes: the stream is checked as decompress() checks it, then
// only the reader tables are kept, and every read walks them from the start rule.
#include <new>
#include <stdexcept>

#include "decoder/corrupt_stream_error.hpp"
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

namespace {

// The same checks, in the same order, as decompress(): parse, then check the structure.
// No short expansions are asked of the check, as the tables keep their own.
ReaderTables tablesOf(std::span<const std::uint8_t> stream) {
  Grammar grammar = parseStream(stream);
  checkGrammar(grammar, 0);
  return buildReaderTables(std::move(grammar), stream.size());
}

}  // namespace

ReaderResult openReader(std::span<const std::uint8_t> stream) noexcept {
  ReaderResult result;
  if (stream.empty()) return result;  // restores nothing, as decompress() says
  try {
    result.reader.state_ = std::make_unique<const Reader::State>(Reader::State{tablesOf(stream)});
  } catch (const CorruptStreamError& error) {
    try {
      result.error = Error{ErrorKind::corruptInput, error.what()};
    } catch (const std::bad_alloc&) {
      result.error.kind = ErrorKind::corruptInput;
    }
  } catch (const std::bad_alloc&) {
    result.error = Error{ErrorKind::outOfMemory, "out of memory"};
  } catch (const std::length_error&) {
    result.error = Error{ErrorKind::outOfMemory, "out of memory"};
  }
  return result;
}

}  // namespace quorlen
