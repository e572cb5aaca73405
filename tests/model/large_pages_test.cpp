#include "model/large_pages.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

bool onLargePage(const void* data) {
    return reinterpret_cast<std::uintptr_t>(data) % kLargePageSize == 0;
}

// Sizes around the large page, where rounding and trimming of the mapping could go wrong.
TEST(LargePages, MappedMemoryStartsOnALargePageZeroedAndWritableToItsEnd) {
    for (const std::size_t bytes : {std::size_t{1}, std::size_t{4096}, kLargePageSize - 1,
                                    kLargePageSize, 3 * kLargePageSize + 5}) {
        auto* const data = static_cast<unsigned char*>(mapLargePages(bytes));
        ASSERT_NE(data, nullptr) << bytes;
        EXPECT_TRUE(onLargePage(data)) << bytes;
        const std::size_t places[] = {0, bytes / 2, bytes - 1};
        for (const std::size_t at : places) EXPECT_EQ(data[at], 0) << bytes << " at " << at;
        for (const std::size_t at : places) data[at] = 0xA5;
        for (const std::size_t at : places) EXPECT_EQ(data[at], 0xA5) << bytes << " at " << at;
        unmapLargePages(data, bytes);
    }
}

TEST(LargePages, NothingIsMappedForNoBytesOrMoreThanAnAddressSpace) {
    EXPECT_EQ(mapLargePages(0), nullptr);
    EXPECT_EQ(mapLargePages(std::numeric_limits<std::size_t>::max()), nullptr);
    EXPECT_EQ(mapLargePages(std::numeric_limits<std::size_t>::max() - kLargePageSize), nullptr);
}

// A vector growing from the usual allocator into mapped blocks keeps its values at each move,
// and its large blocks start on large pages.
TEST(LargePages, AGrowingVectorKeepsItsValuesAcrossBothKindsOfBlock) {
    LargePageVector<std::uint64_t> values;
    constexpr std::uint64_t kCount = 3 * kLargePageSize / sizeof(std::uint64_t);
    for (std::uint64_t i = 0; i < kCount; ++i) values.push_back(i * 7919);
    EXPECT_TRUE(onLargePage(values.data()));
    for (std::uint64_t i = 0; i < kCount; ++i) ASSERT_EQ(values[i], i * 7919) << i;
    values.shrink_to_fit();
    values.resize(16);
    values.shrink_to_fit();
    EXPECT_EQ(values[15], 15 * 7919u);
}

TEST(LargePages, AnArrayTooLargeForTheAddressSpaceThrowsBadAlloc) {
    EXPECT_THROW(makeLargePageArray<double>(std::numeric_limits<std::size_t>::max() / 4),
                 std::bad_alloc);
    EXPECT_THROW(makeLargePageArray<double>(std::numeric_limits<std::size_t>::max() / 16),
                 std::bad_alloc);
}


// Elements added with a value get it, whichever kind of block holds them; a vector taken over
// by another keeps its storage and values.
TEST(LargePages, AVectorForOverwriteStoresWhatItIsGiven) {
    LargePageVectorForOverwrite<std::uint32_t> values;
    constexpr std::uint32_t kCount = kLargePageSize / sizeof(std::uint32_t);
    for (std::uint32_t i = 0; i < kCount; ++i) values.push_back(i ^ 0x5A5A5A5Au);
    values.resize(kCount + 100, 7);
    const std::uint32_t* const storage = values.data();
    const LargePageVectorForOverwrite<std::uint32_t> taken = std::move(values);
    EXPECT_EQ(taken.data(), storage);
    EXPECT_TRUE(onLargePage(storage));
    for (std::uint32_t i = 0; i < kCount; ++i) ASSERT_EQ(taken[i], i ^ 0x5A5A5A5Au) << i;
    for (std::uint32_t i = kCount; i < kCount + 100; ++i) ASSERT_EQ(taken[i], 7u) << i;
}

}  // namespace
