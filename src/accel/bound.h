#pragma once

#include "model/records.h"

// Regroups myObjectList into a tree of composites of at most `bunching` children, bounded by
// slabs; afterwards myObjectList holds the root alone. Returns 0.
int buildBoundingSlabs();
