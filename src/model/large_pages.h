#pragma once

#include <cstddef>

// Asks the system to back the whole 2 MB extents inside [data, data + bytes) with large
// pages, before they are first touched: a large scene fills hundreds of megabytes, and taking
// them in small pages costs one page fault per 4 KB, which on some machines is the better part
// of the load. Smaller buffers, and systems without large pages, are left as they are.
void preferLargePages(void* data, std::size_t bytes);

// The same for the storage a vector has reserved.
template <typename Vector>
void preferLargePages(Vector& vector) {
    preferLargePages(vector.data(), vector.capacity() * sizeof(typename Vector::value_type));
}
