#pragma once

#include <new>

#include "model/arena.h"
#include "model/records.h"

// Intrusive singly linked lists: every element's first field is its `next` link.
// Insertion is at the front, so a list runs in the reverse order of insertion.

template <typename Node>
void addToList(Node** head, Node* element) {
    element->next = *head;
    *head = element;
}

// Releases every element, leaves the head null and returns how many were released.
template <typename Node>
int freeList(Node** head) {
    int released = 0;
    while (Node* node = *head) {
        *head = node->next;
        delete node;
        ++released;
    }
    return released;
}

// The same for a list of scene records, which go back to myRecords all at once when the
// scene is released: here they are only unlinked and counted.
int freeList(ObjectRecord** head);

// A zero-filled record of the kind whose data is `Data`, or null when memory is exhausted.
template <typename Data>
Shape<Data>* allocateShape(RecordArena& arena = myRecords) {
    void* storage = arena.allocate(sizeof(Shape<Data>), alignof(Shape<Data>));
    return storage == nullptr ? nullptr : new (storage) Shape<Data>{};
}

// A zero-filled record without kind data (the root of the hierarchy), or null.
ObjectRecord* allocateRecord();
