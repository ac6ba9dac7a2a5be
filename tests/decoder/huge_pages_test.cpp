// The huge-page mappings the decoder's large arrays live in: aligned, as long as asked
// whatever the rounding, and vectors that keep their contents when they move into one.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "common/huge_pages.hpp"

namespace quorlen {
namespace {

TEST(HugePages, MappingsAreAlignedAndHoldTheirWholeSize) {
  for (const std::size_t size : {kHugePage, kHugePage + 1, kHugePage + kHugePage / 2, kHugePage * 2 - 1,
                                 kHugePage / 4 * 7, std::size_t{3} << 20 | 123}) {
    void* memory = mapHugePages(size);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(memory) % kHugePage, 0u) << size;
    std::memset(memory, 0xab, size);  // a mapping shorter than `size` would fault here
    EXPECT_EQ(static_cast<std::uint8_t*>(memory)[size - 1], 0xab);
    unmapHugePages(memory, size);
  }
}

TEST(HugePages, VectorsKeepTheirContentsAcrossTheMappingThreshold) {
  HugePageVector<std::uint32_t> values;
  for (std::uint32_t i = 0; i < (3u << 20) / sizeof(std::uint32_t); ++i) values.push_back(i * 7);
  for (std::uint32_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], i * 7) << i;
  values.resize(10);
  values.shrink_to_fit();
  EXPECT_EQ(values[9], 63u);
}

}  // namespace
}  // namespace quorlen
