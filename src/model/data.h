#pragma once

#include "model/records.h"

// Intrusive singly linked lists: every element's first field is its `next` link.
// Insertion is at the front, so a list runs in the reverse order of insertion.

template <typename Node>
void addToList(Node** head, Node* element) {
    element->next = *head;
    *head = element;
}

// Releases every element, leaves the head null and returns how many were released.
// Blocks that an element points to (a composite's children, vertex arrays) are not released.
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

// A zero-filled record for freeList to release, or null when memory is exhausted.
ObjectRecord* allocateRecord();
