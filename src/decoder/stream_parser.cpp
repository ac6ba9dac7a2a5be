#include "decoder/stream_parser.hpp"

#include <algorithm>
#include <bit>
#include <limits>
#include <string>
#include <vector>

#include "common/failure.hpp"
#include "common/huge_pages.hpp"
#include "common/stream_format.hpp"
#include "decoder/bit_reader.hpp"
#include "decoder/canonical_decoder.hpp"

namespace quorlen {
namespace {

// Where the symbols of one stream lie, as indices into its symbol length list
// (index i stands for symbol lowByte + i).
struct SymbolLayout {
  std::uint32_t lowByte;
  std::uint32_t byteCount;  // bytes lowByte .. highByte
  std::uint32_t ruleCount;

  // highByte is at index byteCount - 1; the markers and rules follow it.
  std::uint32_t runMarker() const { return byteCount - 1 + format::kRunMarkerOffset; }
  std::uint32_t endRuleMarker() const { return byteCount - 1 + format::kEndRuleMarkerOffset; }
  std::uint32_t endStreamMarker() const { return byteCount - 1 + format::kEndStreamMarkerOffset; }
  std::uint32_t firstRule() const { return byteCount - 1 + format::kFirstRuleOffset; }
  std::uint32_t size() const { return firstRule() + ruleCount; }

  std::string describe(std::uint32_t index) const {
    if (index < byteCount) return "byte " + std::to_string(lowByte + index);
    if (index == runMarker()) return "the run marker";
    if (index == endRuleMarker()) return "the end-of-rule marker";
    if (index == endStreamMarker()) return "the end marker";
    return "rule " + std::to_string(index - firstRule());
  }
};

// lengthWidth and the code-length table: the code that codes every symbol's code length.
CanonicalDecoder readLengthCode(BitReader& in, unsigned tableSize, std::vector<std::uint8_t>& entries) {
  in.setSection("code-length table");
  const auto width = static_cast<unsigned>(in.read(format::kLengthWidthBits));
  if (width == 0) refuseStream("code-length table entries have no bits");
  std::uint64_t widest = 0;
  entries.resize(tableSize);
  for (unsigned j = 0; j < tableSize; ++j) {
    const std::uint64_t length = in.read(width);
    if (length > CanonicalDecoder::kMaxCodeLength) {
      refuseStream("code-length code has a code longer than 56 bits");
    }
    entries[j] = static_cast<std::uint8_t>(length);
    widest = std::max(widest, length);
  }
  if (static_cast<unsigned>(std::bit_width(widest)) != width) {
    refuseStream("code-length table entries are wider than needed");
  }
  // Length 0 always occurs: the start rule's own symbol is never written.
  if (entries.front() == 0) refuseStream("code-length code has no code for length 0");
  if (entries.back() == 0) refuseStream("code-length table is longer than needed");
  return CanonicalDecoder(entries, "code-length code");
}

// The symbol length list: each symbol's code length, then the symbol code they define.
CanonicalDecoder readSymbolCode(BitReader& in, const SymbolLayout& layout, const CanonicalDecoder& lengthCode,
                                const std::vector<std::uint8_t>& lengthEntries, HugePageVector<std::uint8_t>& lengths) {
  in.setSection("symbol length list");
  // Grown as the lengths arrive, not sized from the header: a stream read from a pipe
  // cannot be checked against its size, and memory must follow the bits actually read.
  lengths.clear();
  std::vector<std::uint8_t> lengthUsed(lengthEntries.size(), 0);
  for (std::uint32_t i = 0; i < layout.size(); ++i) {
    const std::uint32_t length = lengthCode.decode(in);
    lengths.push_back(static_cast<std::uint8_t>(length));
    lengthUsed[length] = 1;
  }
  for (std::size_t j = 0; j < lengthEntries.size(); ++j) {
    if (lengthEntries[j] != 0 && lengthUsed[j] == 0) {
      refuseStream("code-length code has a code for length " + std::to_string(j) + ", which no symbol has");
    }
  }
  if (lengths[0] == 0 || lengths[layout.byteCount - 1] == 0) {
    refuseStream("the lowest or highest byte value has no code");
  }
  if (lengths[layout.firstRule()] != 0) refuseStream("the start rule's own symbol has a code");
  if (lengths[layout.endStreamMarker()] == 0) refuseStream("the end marker has no code");
  return CanonicalDecoder(lengths, "symbol code");
}

// The rule list: one record per rule, into the grammar.
//
// The loop keeps each code's rank (see CanonicalDecoder::decodeRank) rather than its
// symbol: the markers are told apart by their ranks, and the ranks of bytes and rules
// are turned into body elements afterwards in one pass, whose lookups do not wait on
// one another. Looking every symbol up as it is read stalled the reading on a cache
// miss per code: 28% of the parse on h64. Which codes occur is kept by rank too
// (usedRank): frequent symbols have short codes and so low ranks, which keeps those
// marks in a few cache lines, where marks by symbol number fell all over the table.
void readRules(BitReader& in, const SymbolLayout& layout, const CanonicalDecoder& code,
               HugePageVector<std::uint8_t>& usedRank, Grammar& grammar) {
  in.setSection("rule list");
  // The markers' ranks; a marker without a code gets a rank no code has.
  std::uint32_t runRank = UINT32_MAX, endRuleRank = UINT32_MAX, endStreamRank = UINT32_MAX;
  for (std::uint32_t rank = 0; rank < code.codeCount(); ++rank) {
    const std::uint32_t symbol = code.valueOfRank(rank);
    if (symbol == layout.runMarker()) runRank = rank;
    if (symbol == layout.endRuleMarker()) endRuleRank = rank;
    if (symbol == layout.endStreamMarker()) endStreamRank = rank;
  }
  auto elementOfSymbol = [&](std::uint32_t symbol) {
    return symbol < layout.byteCount ? layout.lowByte + symbol : Grammar::kFirstRule + (symbol - layout.firstRule());
  };
  auto elementOf = [&](std::uint32_t rank) {
    usedRank[rank] = 1;
    return elementOfSymbol(code.valueOfRank(rank));
  };

  auto& elements = grammar.elements;
  // Every code takes a bit at least: reserving that many keeps push_back from ever moving
  // the elements (the pages of the reserve that are never written are never touched).
  // A stream whose size is not known (from a pipe) grows the elements as they come.
  if (in.remaining() != std::numeric_limits<std::uint64_t>::max()) {
    elements.reserve(static_cast<std::size_t>(in.remaining() / code.shortestLength()) + 2);
  }
  grammar.bodyStart.reserve(std::size_t{layout.ruleCount} + 1);
  grammar.isRun.reserve(layout.ruleCount);
  std::vector<std::uint32_t> runRules;
  for (std::uint32_t rule = 0; rule < layout.ruleCount; ++rule) {
    const std::size_t start = elements.size();
    grammar.bodyStart.push_back(static_cast<std::uint32_t>(start));
    std::uint8_t run = 0;
    for (;;) {
      const std::uint32_t rank = code.decodeRank(in);
      if (rank == endRuleRank) {
        usedRank[endRuleRank] = 1;
        if (elements.size() == start) refuseStream("rule " + std::to_string(rule) + " has an empty body");
        break;
      }
      if (rank == runRank) {
        const std::uint32_t head = elements.size() == start + 1 ? elementOf(elements[start]) : 0;
        if (head < Grammar::kFirstRule) refuseStream("run marker inside the body of rule " + std::to_string(rule));
        const std::uint32_t first = head - Grammar::kFirstRule;
        const std::uint32_t length = in.readLengthPrefixed();
        // Runs are made of a body with at least six rule symbols, so they never
        // shrink below two entries.
        if (length < 2) refuseStream("run of rule " + std::to_string(rule) + " is shorter than two rules");
        if (std::uint64_t{first} + length > layout.ruleCount) {
          refuseStream("run of rule " + std::to_string(rule) + " reaches past the last rule");
        }
        elements[start] = first;
        elements.push_back(length);
        run = 1;
        runRules.push_back(rule);
        usedRank[runRank] = 1;
        break;
      }
      if (rank == endStreamRank) {
        refuseStream("end marker after " + std::to_string(rule) + " of " +
                                 std::to_string(layout.ruleCount) + " rules");
      }
      elements.push_back(rank);
    }
    grammar.isRun.push_back(run);
    if (elements.size() >= UINT32_MAX) refuseStream("rule list holds more than 2^32 symbols");
  }
  grammar.bodyStart.push_back(static_cast<std::uint32_t>(elements.size()));

  // Ranks to elements: one flat pass over the elements between the run bodies, which
  // hold rule numbers already. The ranks' elements are tabled first, in rank order, so
  // the pass is a load and a mark per element with nothing to branch on; its loads do
  // not depend on one another, and the miss of one overlaps the next.
  HugePageVector<std::uint32_t> elementOfRank(code.codeCount());
  for (std::uint32_t rank = 0; rank < code.codeCount(); ++rank) elementOfRank[rank] = elementOfSymbol(code.valueOfRank(rank));
  std::uint32_t* const data = elements.data();
  const std::uint32_t* const table = elementOfRank.data();
  std::uint8_t* const marks = usedRank.data();
  auto convert = [&](std::size_t from, std::size_t to) {
    for (std::size_t i = from; i < to; ++i) {
      const std::uint32_t rank = data[i];
      marks[rank] = 1;
      data[i] = table[rank];
    }
  };
  std::size_t from = 0;
  for (const std::uint32_t rule : runRules) {
    convert(from, grammar.bodyStart[rule]);
    from = grammar.bodyStart[rule + 1];
  }
  convert(from, elements.size());
}

}  // namespace

Grammar parseStream(std::span<const std::uint8_t> stream) {
  BitReader in(stream);
  return parseStream(in);
}

Grammar parseStream(BitReader& in) {
  in.setSection("header");
  const auto lowByte = static_cast<std::uint32_t>(in.read(format::kByteValueBits));
  const auto highByte = static_cast<std::uint32_t>(in.read(format::kByteValueBits));
  const auto lengthTableSize = static_cast<unsigned>(in.read(format::kLengthTableSizeBits));
  const std::uint32_t symbolTableSize = in.readLengthPrefixed();
  if (lowByte > highByte) refuseStream("lowest byte value is above the highest");
  if (lengthTableSize < 2) refuseStream("code-length table is too short");
  if (lengthTableSize > CanonicalDecoder::kMaxCodeLength + 1) {
    refuseStream("code-length table goes beyond 56-bit codes");
  }
  const std::uint32_t byteCount = highByte - lowByte + 1;
  if (symbolTableSize < byteCount + 4) refuseStream("symbol table has no room for a rule");
  // Every symbol's length takes at least one bit, so a size beyond the stream is a lie;
  // checking it here keeps the tables within a multiple of the stream's size.
  if (symbolTableSize > in.remaining()) in.truncated();
  const SymbolLayout layout{lowByte, byteCount, symbolTableSize - byteCount - 3};

  std::vector<std::uint8_t> lengthEntries;
  const CanonicalDecoder lengthCode = readLengthCode(in, lengthTableSize, lengthEntries);
  HugePageVector<std::uint8_t> lengths;
  const CanonicalDecoder symbolCode = readSymbolCode(in, layout, lengthCode, lengthEntries, lengths);

  // Each record holds at least two codes of one bit or more.
  if (std::uint64_t{layout.ruleCount} * 2 > in.remaining()) {
    in.setSection("rule list");
    in.truncated();
  }
  Grammar grammar;
  HugePageVector<std::uint8_t> usedRank(symbolCode.codeCount(), 0);
  readRules(in, layout, symbolCode, usedRank, grammar);

  in.setSection("end marker");
  const std::uint32_t lastRank = symbolCode.decodeRank(in);
  usedRank[lastRank] = 1;
  if (symbolCode.valueOfRank(lastRank) != layout.endStreamMarker()) refuseStream("no end marker after the last rule");
  in.expectPaddedEnd();

  // Of the symbols that have a code but never occur, the message names the lowest.
  std::uint32_t unused = UINT32_MAX;
  for (std::uint32_t rank = 0; rank < symbolCode.codeCount(); ++rank) {
    if (usedRank[rank] == 0) unused = std::min(unused, symbolCode.valueOfRank(rank));
  }
  if (unused != UINT32_MAX) refuseStream(layout.describe(unused) + " has a code but never occurs");
  return grammar;
}

}  // namespace quorlen
