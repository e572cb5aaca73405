#pragma once

#include "model/records.h"

// Geometric tolerance shared by the primitives and the traversal: the minimum hit distance,
// the near-parallel tests, the inside tests. Secondary rays start exactly on the surface
// they leave; this margin is what keeps them from finding that surface again.
constexpr double kEpsilon = 0.001;

// Slab extent of an unbounded primitive.
constexpr double kUnbounded = 1e10;

// A new record of the given kind with its operations set, or null when memory is exhausted.
ObjectRecord* newPrimitive(int kind, IntersectFn intersectFn, NormalFn normalFn, PrintFn printFn);

// Puts a finished primitive at the front of myObjectList and counts it in nPrims.
void addPrimitive(ObjectRecord* object);
