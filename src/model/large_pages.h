#pragma once

// Memory for the large buffers of a scene: the model file, the faces' vertices, the records,
// the hierarchy and the picture. Taking hundreds of megabytes in small pages costs one page
// fault per 4 KB, which on some machines is the better part of loading a model; large pages
// cost one per 2 MB.

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

// The size of a large page where the system has them.
constexpr std::size_t kLargePageSize = std::size_t{2} << 20;

// Zeroed and untouched memory for `bytes`, straight from the system, starting on a large page
// and asked to be backed by large pages where the system has them: each is zeroed when it is
// first touched, on whichever thread touches it. Null when the system refuses.
void* mapLargePages(std::size_t bytes);

// Gives back what mapLargePages(bytes) returned.
void unmapLargePages(void* data, std::size_t bytes) noexcept;

// Has the system back the whole pages inside [data, data + bytes) now, leaving what they hold
// as it is, so that another thread can take the cost of their first touch while the one that
// will fill them does other work. Does nothing where the system cannot.
void prefaultPages(void* data, std::size_t bytes) noexcept;

// An allocator whose blocks of half a large page or more come from mapLargePages, so that a
// vector growing to megabytes, the copies of its growth included, takes one page fault per
// 2 MB from its first touch. Smaller blocks come from the usual allocator.
template <typename T>
struct LargePageAllocator {
    using value_type = T;

    LargePageAllocator() = default;
    template <typename U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept {}  // NOLINT: rebinding converts

    T* allocate(std::size_t count) {
        if (count > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kLargeBlock) return std::allocator<T>().allocate(count);
        void* const data = mapLargePages(bytes);
        if (data == nullptr) throw std::bad_alloc();
        return static_cast<T*>(data);
    }

    void deallocate(T* data, std::size_t count) noexcept {
        const std::size_t bytes = count * sizeof(T);
        if (bytes < kLargeBlock) {
            std::allocator<T>().deallocate(data, count);
        } else {
            unmapLargePages(data, bytes);
        }
    }

    friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) = default;

  private:
    // Rounding a smaller block up to a large page could more than double what it takes.
    static constexpr std::size_t kLargeBlock = kLargePageSize / 2;
};

template <typename T>
using LargePageVector = std::vector<T, LargePageAllocator<T>>;

// The same, except that elements a vector adds without a value are left as the storage holds
// them, like make_unique_for_overwrite's: for arrays of plain records that are filled in parts
// by the threads that use them, each of which then takes its own pages first.
template <typename T>
struct LargePageAllocatorForOverwrite : LargePageAllocator<T> {
    template <typename U>
    struct rebind {
        using other = LargePageAllocatorForOverwrite<U>;
    };

    LargePageAllocatorForOverwrite() = default;
    template <typename U>
    LargePageAllocatorForOverwrite(  // NOLINT: rebinding converts
        const LargePageAllocatorForOverwrite<U>&) noexcept {}

    template <typename U>
    void construct(U* place) noexcept {
        static_assert(std::is_trivially_default_constructible_v<U>);
        ::new (static_cast<void*>(place)) U;
    }
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args) {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const LargePageAllocatorForOverwrite&,
                           const LargePageAllocatorForOverwrite&) = default;
};

template <typename T>
using LargePageVectorForOverwrite = std::vector<T, LargePageAllocatorForOverwrite<T>>;

// Storage for values of a type without constructors or destructor to run, from
// LargePageAllocator, which gets it back when the pointer goes. It is left untouched: pages
// that no value is ever written to cost no memory.
template <typename T>
struct LargePageDeleter {
    std::size_t count;
    void operator()(T* data) const noexcept { LargePageAllocator<T>().deallocate(data, count); }
};

template <typename T>
using LargePageArray = std::unique_ptr<T[], LargePageDeleter<T>>;

// Room for `count` values; throws std::bad_alloc when memory is exhausted.
template <typename T>
LargePageArray<T> makeLargePageArray(std::size_t count) {
    static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);
    return LargePageArray<T>(LargePageAllocator<T>().allocate(count), LargePageDeleter<T>{count});
}
