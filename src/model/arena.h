#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "model/large_pages.h"

// The scene's records are made while the scene is read and all live until the render is
// done, so they come out of large blocks and go back all at once: a scene of a million faces
// then costs one allocation per block instead of one per face, and no allocator overhead
// per record.
class RecordArena {
  public:
    // Storage for `bytes` aligned to `alignment` (a power of two no larger than that of
    // std::max_align_t), for the caller to construct a record in; null when memory is
    // exhausted.
    void* allocate(std::size_t bytes, std::size_t alignment);

    // Releases every block: every record allocated so far is gone.
    void release();

    // Takes over the blocks of another arena, and so the records made in it, which then live
    // and go with this arena's.
    void adopt(RecordArena&& other);

  private:
    static constexpr std::size_t kBlockSize = std::size_t{8} << 20;
    std::vector<LargePageArray<std::byte>> blocks_;
    std::size_t used_ = kBlockSize;  // bytes taken from the last block
};

// The records of the run's scene: primitives, lights and the root of the hierarchy.
extern RecordArena myRecords;
