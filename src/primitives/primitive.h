#pragma once

#include "model/data.h"
#include "model/records.h"
#include "model/surface.h"

// Geometric tolerance shared by the primitives and the traversal: the minimum hit distance,
// the near-parallel tests, the inside tests. Secondary rays start exactly on the surface
// they leave; this margin is what keeps them from finding that surface again.
constexpr double kEpsilon = 0.001;

// Slab extent of an unbounded primitive.
constexpr double kUnbounded = 1e10;

// The slab extents that a kind whose data holds `slabs` computed when it was made.
template <typename Data>
SlabBox storedSlabs(const ObjectRecord& object) {
    return dataOf<Data>(object).slabs;
}

// A new record of the kind whose data is `Data`, with its operations set, or null when memory
// is exhausted. It comes from the scene's records unless another arena is given.
template <typename Data>
Shape<Data>* newPrimitive(int kind, IntersectFn intersectFn, NormalFn normalFn, PrintFn printFn,
                          BoundsFn boundsFn = storedSlabs<Data>, RecordArena& arena = myRecords) {
    Shape<Data>* object = allocateShape<Data>(arena);
    if (object == nullptr) return nullptr;
    object->kind = kind;
    object->intersectFn = intersectFn;
    object->normalFn = normalFn;
    object->printFn = printFn;
    object->boundsFn = boundsFn;
    object->surface = &kBlankSurface;
    return object;
}

// Puts a finished primitive at the front of myObjectList and counts it in nPrims.
void addPrimitive(ObjectRecord* object);
