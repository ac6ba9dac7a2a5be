// Huffman trees, canonical codes and the symbol code of the stream.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "coding/flat_huffman.hpp"
#include "coding/huffman_tree.hpp"
#include "encoder_fixture.hpp"
#include "reference/huffman_tree.hpp"

namespace quorlen::test_support {
namespace {

struct Code {
  std::int32_t symbol;
  std::string bits;
  bool operator==(const Code&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Code& code) {
  return out << code.symbol << ":\"" << code.bits << "\"";
}

template <typename Table>
std::vector<Code> entries(Table& table) {
  std::vector<Code> codes;
  for (std::int32_t j = 0; j < table.count(); ++j) codes.push_back({table.at(j).symbol, codeText(table.at(j).code)});
  return codes;
}

// The library's Huffman functions and the reference's, side by side.
struct LibraryHuffman {
  using Candidates = HuffmanCandidates;
  using Table = CodeTable;
  using Node = HuffmanNode;
  using Leaf = HuffmanLeaf;
  using Branch = HuffmanBranch;
  using Prefix = CodeWord;
  static auto build(const Candidates& c) { return buildHuffmanTree(c); }
  static void canonicalize(Table& t) { canonicalizeCodes(t); }
  static void code(const Candidates& c, Table& t) { buildCanonicalCode(c, t); }
};
struct ReferenceHuffman {
  using Candidates = reference::HuffmanCandidates;
  using Table = reference::CodeTable;
  using Node = reference::HuffmanNode;
  using Leaf = reference::HuffmanLeaf;
  using Branch = reference::HuffmanBranch;
  using Prefix = BitString;
  static auto build(const Candidates& c) { return reference::buildHuffmanTree(c); }
  static void canonicalize(Table& t) { reference::canonicalizeCodes(t); }
  static void code(const Candidates& c, Table& t) { reference::buildCanonicalCode(c, t); }
};

template <typename H>
class HuffmanTreeTest : public ::testing::Test {};
using HuffmanImplementations = ::testing::Types<LibraryHuffman, ReferenceHuffman>;
TYPED_TEST_SUITE(HuffmanTreeTest, HuffmanImplementations);

template <typename H>
std::int32_t leafSymbol(const typename H::Node& node) {
  const auto* leaf = dynamic_cast<const typename H::Leaf*>(&node);
  return leaf ? leaf->symbol : -1;
}

TYPED_TEST(HuffmanTreeTest, LightestNodesJoinFirstAndABranchGoesBehindItsEqualWeights) {
  using H = TypeParam;
  const typename H::Candidates candidates{{1, 2}, {2, 2}, {3, 1}, {4, 1}};
  const auto root = H::build(candidates);
  ASSERT_EQ(root->weight, 6);
  const auto* top = dynamic_cast<const typename H::Branch*>(root.get());
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(leafSymbol<H>(*top->firstChild), 1);
  const auto* right = dynamic_cast<const typename H::Branch*>(top->secondChild.get());
  ASSERT_NE(right, nullptr);
  EXPECT_EQ(right->weight, 4);
  EXPECT_EQ(leafSymbol<H>(*right->secondChild), 2);
  const auto* lowest = dynamic_cast<const typename H::Branch*>(right->firstChild.get());
  ASSERT_NE(lowest, nullptr);
  EXPECT_EQ(lowest->weight, 2);
  EXPECT_EQ(leafSymbol<H>(*lowest->firstChild), 4);
  EXPECT_EQ(leafSymbol<H>(*lowest->secondChild), 3);

  typename H::Table walk;
  std::int32_t next = 0;
  typename H::Prefix prefix{};
  root->assignCodes(next, prefix, walk);
  EXPECT_EQ(next, 4);
  EXPECT_EQ(codeText(prefix), "");
  EXPECT_EQ(entries(walk), (std::vector<Code>{{1, "0"}, {4, "100"}, {3, "101"}, {2, "11"}}));

  typename H::Table table;
  H::code(candidates, table);
  EXPECT_EQ(entries(table), (std::vector<Code>{{1, "0"}, {4, "111"}, {3, "110"}, {2, "10"}}));
}

TYPED_TEST(HuffmanTreeTest, EqualWeightsTakeTheLargestSymbolFirst) {
  using H = TypeParam;
  typename H::Table table;
  H::code({{1, 1}, {2, 1}, {3, 1}}, table);
  EXPECT_EQ(entries(table), (std::vector<Code>{{1, "0"}, {3, "11"}, {2, "10"}}));
}

TYPED_TEST(HuffmanTreeTest, SingleCandidateGetsTheEmptyCode) {
  using H = TypeParam;
  const auto root = H::build({{42, 7}});
  EXPECT_EQ(leafSymbol<H>(*root), 42);
  typename H::Table table;
  H::code({{42, 7}}, table);
  EXPECT_EQ(entries(table), (std::vector<Code>{{42, ""}}));
}

TYPED_TEST(HuffmanTreeTest, TwoCandidatesGetOneBitEach) {
  using H = TypeParam;
  typename H::Table table;
  H::code({{0, 3}, {2, 3}}, table);
  EXPECT_EQ(entries(table), (std::vector<Code>{{2, "1"}, {0, "0"}}));
}

TYPED_TEST(HuffmanTreeTest, CanonicalCodesFollowLengthThenSymbol) {
  using H = TypeParam;
  typename H::Table table;
  const std::vector<Code> walk{{9, "0"}, {3, "10"}, {5, "110"}, {1, "111"}};
  for (std::size_t j = 0; j < walk.size(); ++j) {
    table.at(static_cast<std::int32_t>(j)).symbol = walk[j].symbol;
    setCode(table.at(static_cast<std::int32_t>(j)).code, walk[j].bits);
  }
  H::canonicalize(table);
  // Among equal lengths the smaller symbol takes the smaller code; entries keep their places.
  EXPECT_EQ(entries(table), (std::vector<Code>{{9, "0"}, {3, "10"}, {5, "111"}, {1, "110"}}));

  typename H::Table gaps;
  const std::vector<Code> gapWalk{{4, "0"}, {2, "1000"}, {6, "101"}, {1, "1001"}};
  for (std::size_t j = 0; j < gapWalk.size(); ++j) {
    gaps.at(static_cast<std::int32_t>(j)).symbol = gapWalk[j].symbol;
    setCode(gaps.at(static_cast<std::int32_t>(j)).code, gapWalk[j].bits);
  }
  H::canonicalize(gaps);
  // Lengths 1, 3, 4, 4: "0", then "100" (shifted twice), then "1010", "1011".
  EXPECT_EQ(entries(gaps), (std::vector<Code>{{4, "0"}, {2, "1011"}, {6, "100"}, {1, "1010"}}));
}

// Fibonacci weights give the deepest tree their count allows: depth 39 for 40 values.
TYPED_TEST(HuffmanTreeTest, CodesLongerThanThirtyTwoBitsStayExact) {
  using H = TypeParam;
  typename H::Candidates candidates;
  std::int32_t a = 1, b = 1;
  for (std::int32_t value = 0; value < 40; ++value) {
    candidates.emplace_back(value, a);
    const std::int32_t next = a + b;
    a = b;
    b = next;
  }
  typename H::Table table;
  H::code(candidates, table);
  ASSERT_EQ(table.count(), 40);
  std::map<std::int32_t, std::string> codes;
  for (std::int32_t j = 0; j < 40; ++j) codes[table.at(j).symbol] = codeText(table.at(j).code);
  ASSERT_EQ(codes.size(), 40u);

  for (std::int32_t value = 2; value < 40; ++value) {
    // Length 40 - value: that many minus one ones, then a zero.
    EXPECT_EQ(codes[value], std::string(static_cast<std::size_t>(39 - value), '1') + "0") << value;
  }
  EXPECT_EQ(codes[0], std::string(38, '1') + "0");
  EXPECT_EQ(codes[1], std::string(39, '1'));

  for (const auto& [x, cx] : codes) {
    for (const auto& [y, cy] : codes) {
      if (x != y) {
        ASSERT_FALSE(cy.starts_with(cx)) << x << " is a prefix of " << y;
      }
    }
  }
}

TYPED_TEST(HuffmanTreeTest, ManyCandidatesGiveACompletePrefixFreeCanonicalCode) {
  using H = TypeParam;
  std::mt19937 random(99);
  for (int round = 0; round < 20; ++round) {
    typename H::Candidates candidates;
    const int n = 2 + static_cast<int>(random() % 300);
    for (int v = 0; v < n; ++v) {
      if (random() % 4 != 0) candidates.emplace_back(v, 1 + static_cast<std::int32_t>(random() % (round % 2 ? 4 : 1000)));
    }
    if (candidates.size() < 2) continue;
    typename H::Table table;
    H::code(candidates, table);
    ASSERT_EQ(table.count(), static_cast<std::int32_t>(candidates.size()));
    std::vector<std::pair<std::size_t, std::int32_t>> byLength;
    long double kraft = 0;
    for (std::int32_t j = 0; j < table.count(); ++j) {
      const auto& entry = table.at(j);
      const std::string code = codeText(entry.code);
      ASSERT_FALSE(code.empty());
      kraft += std::pow(2.0L, -static_cast<long double>(code.size()));
      byLength.emplace_back(code.size(), entry.symbol);
    }
    EXPECT_EQ(kraft, 1.0L);
    // Read in (length, symbol) order, the codes count up like RFC 1951's.
    std::sort(byLength.begin(), byLength.end());
    std::map<std::int32_t, std::string> codeOf;
    for (std::int32_t j = 0; j < table.count(); ++j) codeOf[table.at(j).symbol] = codeText(table.at(j).code);
    std::uint64_t value = 0;
    std::size_t length = byLength.front().first;
    for (const auto& [l, symbol] : byLength) {
      value <<= (l - length);
      length = l;
      ASSERT_EQ(codeOf[symbol], toBitString(value, static_cast<std::int32_t>(l))) << symbol;
      ++value;
    }
  }
}

// The flat builder against the tree of nodes: the same entries in the same order,
// on few and many candidates, ties everywhere, and weights of Fibonacci growth whose
// codes pass 32 bits.
TEST(FlatHuffman, GivesTheTreesTableEntryForEntry) {
  std::mt19937 random(7);
  std::vector<HuffmanCandidates> cases{{{42, 7}}, {{0, 3}, {2, 3}}, {{1, 1}, {2, 1}, {3, 1}}};
  for (const int n : {5, 64, 300, 5000, 100000}) {
    for (const std::uint32_t spread : {1u, 3u, 1000u}) {
      HuffmanCandidates candidates;
      for (int v = 0; v < n; ++v) {
        if (random() % 5 != 0) candidates.emplace_back(v, 1 + static_cast<std::int32_t>(random() % spread));
      }
      cases.push_back(candidates);
    }
  }
  HuffmanCandidates fibonacci;
  for (std::int32_t v = 0, a = 1, b = 1; v < 44; ++v, a = std::exchange(b, a + b)) fibonacci.emplace_back(v, a);
  cases.push_back(fibonacci);
  for (const HuffmanCandidates& candidates : cases) {
    CodeTable tree;
    CodeTable flat;
    buildCanonicalCode(candidates, tree);
    buildFlatCanonicalCode(candidates, flat);
    ASSERT_EQ(entries(flat), entries(tree)) << candidates.size() << " candidates";
  }
}

// The joins taken from two queues against the reference's list, re-sorted after each
// join: many sets of ties between leaves, between branches and between the two, where
// the taking order decides the code lengths.
TEST(FlatHuffman, TakesTheSameJoinsAsTheSortedList) {
  std::mt19937 random(11);
  for (int round = 0; round < 400; ++round) {
    const int n = 1 + static_cast<int>(random() % (round < 300 ? 40 : 3000));
    const std::uint32_t spread = round % 4 == 0 ? 1u : round % 4 == 1 ? 3u : round % 4 == 2 ? 16u : 100000u;
    HuffmanCandidates candidates;
    reference::HuffmanCandidates referenceCandidates;
    for (int v = 0; v < n; ++v) {
      if (random() % 3 == 0) continue;
      const auto weight = 1 + static_cast<std::int32_t>(random() % spread);
      candidates.emplace_back(v, weight);
      referenceCandidates.emplace_back(v, weight);
    }
    if (candidates.empty()) continue;
    CodeTable flat;
    reference::CodeTable expected;
    buildFlatCanonicalCode(candidates, flat);
    reference::buildCanonicalCode(referenceCandidates, expected);
    ASSERT_EQ(entries(flat), entries(expected)) << "round " << round;
  }
}

template <typename Encoder>
class SymbolCodeTest : public ::testing::Test {};
using Encoders = ::testing::Types<GrammarEncoder, reference::GrammarEncoder>;
TYPED_TEST_SUITE(SymbolCodeTest, Encoders);

TYPED_TEST(SymbolCodeTest, OneByteInputCodesTheByteAndTwoMarkers) {
  EncoderRun<TypeParam> run(bytesOf("a"), Phase::BuildSymbolCode);
  TypeParam& e = *run;
  EXPECT_EQ(entries(e.symbolCodes), (std::vector<Code>{{97, "0"}, {100, "11"}, {99, "10"}}));
  EXPECT_EQ(e.symbolCodeSlot.low(), 0);
  EXPECT_EQ(e.symbolCodeSlot.count(), 102);
  for (std::int32_t s = 0; s <= 101; ++s) {
    const std::int32_t expected = s == 97 ? 0 : s == 100 ? 1 : s == 99 ? 2 : -1;
    EXPECT_EQ(e.symbolCodeSlot.at(s), expected) << s;
  }
}

TYPED_TEST(SymbolCodeTest, TwelveByteExampleCountsTheRunAsTwoSymbols) {
  EncoderRun<TypeParam> run(bytesOf("aaababbbbbaa"), Phase::BuildSymbolCode);
  TypeParam& e = *run;
  EXPECT_EQ(entries(e.symbolCodes), (std::vector<Code>{{97, "00"},
                                                       {101, "1101"},
                                                       {99, "1100"},
                                                       {106, "1111"},
                                                       {104, "1110"},
                                                       {103, "101"},
                                                       {98, "100"},
                                                       {100, "01"}}));
  EXPECT_EQ(e.symbolCodeSlot.low(), 0);
  EXPECT_EQ(e.symbolCodeSlot.count(), 108);
  for (const std::int32_t uncoded : {0, 96, 102, 105, 107}) EXPECT_EQ(e.symbolCodeSlot.at(uncoded), -1) << uncoded;
  for (std::int32_t j = 0; j < e.symbolCodes.count(); ++j) {
    EXPECT_EQ(e.symbolCodeSlot.at(e.symbolCodes.at(j).symbol), j);
  }
}

// Fields as restructureRuns leaves them, set by hand; highByte 98, S(x) = 102 + x.
template <typename Encoder>
HandMadeEncoder<Encoder> finalGrammar(const std::vector<Symbols>& bodies, const std::vector<int>& runs) {
  HandMadeEncoder<Encoder> g(98);
  g->ruleCount = static_cast<std::int32_t>(bodies.size());
  for (std::int32_t i = 0; i < g->ruleCount; ++i) {
    g.setBody(i, bodies[static_cast<std::size_t>(i)]);
    g->finalNumber.at(i) = i;
    g->ruleOrder.at(i) = i;
    g->runRule.at(i) = static_cast<std::uint8_t>(runs[static_cast<std::size_t>(i)]);
  }
  return g;
}

template <typename Encoder>
std::set<std::int32_t> codedSymbols(Encoder& e) {
  std::set<std::int32_t> coded;
  for (std::int32_t s = e.symbolCodeSlot.low(); s < e.symbolCodeSlot.low() + e.symbolCodeSlot.count(); ++s) {
    if (e.symbolCodeSlot.at(s) != -1) coded.insert(s);
  }
  return coded;
}

TYPED_TEST(SymbolCodeTest, ARunRuleCountsItsFirstSymbolAndTheMarkerOnly) {
  std::vector<Symbols> bodies{{103, 104, 105, 106, 107, 108, 109}};
  for (int k = 1; k <= 7; ++k) bodies.push_back({97});
  std::vector<int> runs{1, 0, 0, 0, 0, 0, 0, 0};
  auto g = finalGrammar<TypeParam>(bodies, runs);
  g->buildSymbolCode();
  TypeParam& e = *g;
  EXPECT_EQ(e.symbolCodeSlot.count(), 98 + 8 + 4);
  // 97 and EndRuleMarker weigh 7 each; RunMarker, EndStreamMarker and 103 weigh 1.
  EXPECT_EQ(codedSymbols(e), (std::set<std::int32_t>{97, 99, 100, 101, 103}));
  std::map<std::int32_t, std::size_t> lengths;
  for (std::int32_t j = 0; j < e.symbolCodes.count(); ++j) lengths[e.symbolCodes.at(j).symbol] = codeText(e.symbolCodes.at(j).code).size();
  EXPECT_EQ(lengths[97], 1u);
  EXPECT_EQ(lengths[100], 2u);
  EXPECT_EQ(lengths[99], 3u);
}

TYPED_TEST(SymbolCodeTest, EndRuleMarkerIsUncodedWhenEveryRuleIsARun) {
  auto g = finalGrammar<TypeParam>({{102, 102}}, {1});
  g->buildSymbolCode();
  EXPECT_EQ(codedSymbols(*g), (std::set<std::int32_t>{99, 101, 102}));
}

TYPED_TEST(SymbolCodeTest, RuleSymbolsAreCountedUnderTheirFinalNumbers) {
  auto g = finalGrammar<TypeParam>({{103, 103, 103, 104}, {97, 98}, {98, 97}}, {0, 0, 0});
  g->finalNumber.at(1) = 2;
  g->finalNumber.at(2) = 1;
  g->ruleOrder.at(1) = 2;
  g->ruleOrder.at(2) = 1;
  g->buildSymbolCode();
  TypeParam& e = *g;
  // Rule 1, used three times, is written as 102 + 2 = 104; rule 2 as 103.
  std::map<std::int32_t, std::size_t> lengths;
  for (std::int32_t j = 0; j < e.symbolCodes.count(); ++j) lengths[e.symbolCodes.at(j).symbol] = codeText(e.symbolCodes.at(j).code).size();
  EXPECT_EQ(codedSymbols(e), (std::set<std::int32_t>{97, 98, 100, 101, 103, 104}));
  EXPECT_LT(lengths[104], lengths[103]);
}

}  // namespace
}  // namespace quorlen::test_support
