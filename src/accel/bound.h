#pragma once

#include "model/records.h"

// Regroups myObjectList into a tree of composites of at most `bunching` children, bounded by
// slabs, and lays it out for the traversal (myHierarchy); afterwards myObjectList holds the
// root alone. Large lists are split on several threads. Returns 0.
int buildBoundingSlabs();

// Releases every record reachable from the list: composites with their ChildGroups and the
// primitives below them, and the traversal's layout. Leaves the head null and returns the
// number of ObjectRecords released.
int freeHierarchy(ObjectRecord** head);
