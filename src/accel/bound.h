#pragma once

#include "model/records.h"

// Regroups myObjectList into a tree of composites of at most `bunching` children, bounded by
// slabs; afterwards myObjectList holds the root alone. Returns 0.
int buildBoundingSlabs();

// One step of the build on the `count` nodes that start at `link` (the list head or the `next`
// of the node before them): splits a segment longer than `bunching` at the mean centre and
// recurses, or puts a segment of 2 to `bunching` nodes under a new composite. Returns 1 when
// it split, 0 when it grouped or left the segment alone.
int sortAndSplit(ObjectRecord*& link, int count);

// Chooses the split axis and value of the `count` nodes that start at `first`.
void findAxis(const ObjectRecord* first, int count);

// Releases every record reachable from the list: composites with their ChildGroups and the
// primitives below them. Leaves the head null and returns the number of ObjectRecords released.
int freeHierarchy(ObjectRecord** head);
