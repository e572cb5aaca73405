#include "model/arena.h"

#include <iterator>
#include <new>

RecordArena myRecords;

namespace {

std::size_t alignUp(std::size_t offset, std::size_t alignment) {
    return (offset + alignment - 1) & ~(alignment - 1);
}

}  // namespace

// Blocks are aligned to large pages, more than any type asks, so an offset aligned within a
// block is aligned in memory.
void* RecordArena::allocate(std::size_t bytes, std::size_t alignment) {
    if (bytes > kBlockSize) return nullptr;
    used_ = alignUp(used_, alignment);
    if (used_ + bytes > kBlockSize) {
        try {
            blocks_.push_back(makeLargePageArray<std::byte>(kBlockSize));
        } catch (const std::bad_alloc&) {
            return nullptr;
        }
        used_ = 0;
    }
    std::byte* storage = blocks_.back().get() + used_;
    used_ += bytes;
    return storage;
}

void RecordArena::release() {
    blocks_.clear();
    used_ = kBlockSize;
}

void RecordArena::adopt(RecordArena&& other) {
    // This arena goes on filling its own last block.
    blocks_.insert(blocks_.end() - (blocks_.empty() ? 0 : 1),
                   std::make_move_iterator(other.blocks_.begin()),
                   std::make_move_iterator(other.blocks_.end()));
    other.blocks_.clear();
    other.used_ = kBlockSize;
}
