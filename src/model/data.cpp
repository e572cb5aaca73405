#include "model/data.h"

#include <new>

ObjectRecord* allocateRecord() {
    return new (std::nothrow) ObjectRecord{};
}
