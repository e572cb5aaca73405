#include "model/data.h"

int freeList(ObjectRecord** head) {
    int released = 0;
    while (ObjectRecord* node = *head) {
        *head = node->next;
        ++released;
    }
    return released;
}

ObjectRecord* allocateRecord() {
    void* storage = myRecords.allocate(sizeof(ObjectRecord), alignof(ObjectRecord));
    return storage == nullptr ? nullptr : new (storage) ObjectRecord{};
}
