#include "model/large_pages.h"

#include <sys/mman.h>

#include <cstdint>
#include <limits>

namespace {

std::uintptr_t roundUpToLargePage(std::uintptr_t value) {
    return (value + kLargePageSize - 1) & ~std::uintptr_t{kLargePageSize - 1};
}

}  // namespace

// Maps a large page more than the rounded size and gives back what lies outside the aligned
// extent, so that the whole of it can take large pages.
void* mapLargePages(std::size_t bytes) {
    if (bytes == 0 || bytes > std::numeric_limits<std::size_t>::max() - 2 * kLargePageSize) {
        return nullptr;
    }
    const std::size_t rounded = roundUpToLargePage(bytes);
    const std::size_t mapped = rounded + kLargePageSize;
    void* const start =
        mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (start == MAP_FAILED) return nullptr;
    const auto begin = reinterpret_cast<std::uintptr_t>(start);
    const std::uintptr_t aligned = roundUpToLargePage(begin);
    const std::uintptr_t end = aligned + rounded;
    if (aligned > begin) munmap(start, aligned - begin);
    if (begin + mapped > end) munmap(reinterpret_cast<void*>(end), begin + mapped - end);
#if defined(MADV_HUGEPAGE)
    // Only advice: where the system has no large pages, nothing changes.
    madvise(reinterpret_cast<void*>(aligned), rounded, MADV_HUGEPAGE);
#endif
    return reinterpret_cast<void*>(aligned);
}

void prefaultPages(void* data, std::size_t bytes) noexcept {
#if defined(MADV_POPULATE_WRITE)
    constexpr std::uintptr_t kPage = 4096;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + kPage - 1) & ~(kPage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(kPage - 1);
    if (first < last) madvise(reinterpret_cast<void*>(first), last - first, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

void unmapLargePages(void* data, std::size_t bytes) noexcept {
    if (data != nullptr) munmap(data, roundUpToLargePage(bytes));
}
