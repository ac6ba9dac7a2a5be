#include "stream_builder.hpp"

#include <algorithm>
#include <bit>
#include <queue>
#include <stdexcept>
#include <string>

namespace quorlen::test {
namespace {

class BitWriter {
 public:
  void put(std::uint64_t value, unsigned bits) {
    for (unsigned i = bits; i-- > 0;) {
      if (count_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() |= static_cast<std::uint8_t>(0x80 >> count_);
      count_ = (count_ + 1) % 8;
    }
  }
  void putPrefixed(std::uint32_t value) {
    const auto width = static_cast<unsigned>(std::bit_width(value));
    put(width, format::kPrefixBits);
    put(value, width);
  }
  unsigned pending() const { return count_ == 0 ? 0 : 8 - count_; }
  std::vector<std::uint8_t>& bytes() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
  unsigned count_ = 0;
};

}  // namespace

std::vector<std::uint64_t> canonicalCodes(const std::vector<std::uint32_t>& lengths) {
  std::vector<std::size_t> order(lengths.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](auto a, auto b) { return lengths[a] < lengths[b]; });
  std::vector<std::uint64_t> codes(lengths.size(), 0);
  std::uint64_t code = 0;
  std::uint32_t previous = 0;
  for (const std::size_t i : order) {
    if (lengths[i] == 0) continue;
    code <<= (lengths[i] - previous);
    previous = lengths[i];
    codes[i] = code++;
  }
  return codes;
}

std::vector<std::uint32_t> lengthEntriesFor(const std::vector<std::uint32_t>& symbolLengths) {
  const std::uint32_t longest = *std::max_element(symbolLengths.begin(), symbolLengths.end());
  std::vector<std::uint64_t> histogram(longest + 1, 0);
  for (const std::uint32_t length : symbolLengths) ++histogram[length];
  return huffmanLengths(histogram);
}

std::vector<std::uint8_t> replaceBits(const std::vector<std::uint8_t>& stream, std::size_t from, std::size_t count,
                                      const char* bits) {
  std::string all;
  for (const auto byte : stream) {
    for (int i = 7; i >= 0; --i) all.push_back(((byte >> i) & 1) ? '1' : '0');
  }
  all.replace(from, count, bits);
  while (all.size() % 8 != 0) all.push_back('0');
  std::vector<std::uint8_t> bytes(all.size() / 8, 0);
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (all[i] == '1') bytes[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  }
  return bytes;
}

std::vector<std::uint32_t> huffmanLengths(const std::vector<std::uint64_t>& weights) {
  struct Node {
    std::uint64_t weight;
    std::size_t index;
  };
  auto heavier = [](const Node& a, const Node& b) { return a.weight > b.weight; };
  std::priority_queue<Node, std::vector<Node>, decltype(heavier)> queue(heavier);
  std::vector<std::size_t> parent;
  for (std::size_t i = 0; i < weights.size(); ++i) {
    parent.push_back(SIZE_MAX);
    if (weights[i] != 0) queue.push({weights[i], i});
  }
  while (queue.size() > 1) {
    const Node a = queue.top();
    queue.pop();
    const Node b = queue.top();
    queue.pop();
    parent.push_back(SIZE_MAX);
    parent[a.index] = parent[b.index] = parent.size() - 1;
    queue.push({a.weight + b.weight, parent.size() - 1});
  }
  std::vector<std::uint32_t> lengths(weights.size(), 0);
  for (std::size_t i = 0; i < weights.size(); ++i) {
    if (weights[i] == 0) continue;
    for (std::size_t node = i; parent[node] != SIZE_MAX; node = parent[node]) ++lengths[i];
  }
  return lengths;
}

StreamFields fieldsFor(std::uint32_t lowByte, std::uint32_t highByte, const std::vector<RuleRecord>& rules) {
  StreamFields fields;
  fields.lowByte = lowByte;
  fields.highByte = highByte;
  fields.ruleCount = static_cast<std::uint32_t>(rules.size());
  const std::uint32_t size = highByte - lowByte + 4 + fields.ruleCount;
  std::vector<std::uint64_t> weights(size, 0);
  auto add = [&](std::uint32_t symbol, bool count) {
    fields.rules.push_back({false, symbol});
    if (count) ++weights.at(symbol - lowByte);
  };
  for (const RuleRecord& record : rules) {
    if (record.run) {
      add(fields.rule(record.runFirst), true);
      add(fields.runMarker(), true);
      fields.rules.push_back({true, record.runLength});
    } else {
      for (const std::uint32_t symbol : record.body) add(symbol, true);
      add(fields.endRule(), true);
    }
  }
  ++weights.at(fields.endStream() - lowByte);
  fields.symbolLengths = huffmanLengths(weights);
  return fields;
}

std::vector<std::uint8_t> serialize(const StreamFields& fields) {
  const auto& lengths = fields.symbolLengths;
  const std::vector<std::uint32_t> entries =
      fields.lengthEntries.empty() ? lengthEntriesFor(lengths) : fields.lengthEntries;
  const std::uint32_t widest = *std::max_element(entries.begin(), entries.end());
  const unsigned width = fields.lengthWidth.value_or(static_cast<unsigned>(std::bit_width(widest)));
  const std::vector<std::uint64_t> lengthCodes = canonicalCodes(entries);
  const std::vector<std::uint64_t> symbolCodes = canonicalCodes(lengths);

  BitWriter out;
  out.put(fields.lowByte, format::kByteValueBits);
  out.put(fields.highByte, format::kByteValueBits);
  out.put(entries.size(), format::kLengthTableSizeBits);
  out.putPrefixed(fields.symbolTableSize.value_or(fields.highByte - fields.lowByte + 4 + fields.ruleCount));
  out.put(width, format::kLengthWidthBits);
  for (const std::uint32_t entry : entries) out.put(entry, width);
  for (const std::uint32_t length : lengths) out.put(lengthCodes.at(length), entries.at(length));
  auto putSymbol = [&](std::uint32_t symbol) {
    const std::size_t i = symbol - fields.lowByte;
    out.put(symbolCodes.at(i), lengths.at(i));
  };
  for (const Token& token : fields.rules) {
    if (token.number) {
      out.putPrefixed(token.value);
    } else {
      putSymbol(token.value);
    }
  }
  if (fields.endMarker) putSymbol(fields.endStream());
  out.put(fields.paddingValue, out.pending());
  auto& bytes = out.bytes();
  bytes.insert(bytes.end(), fields.trailing.begin(), fields.trailing.end());
  return bytes;
}

}  // namespace quorlen::test
