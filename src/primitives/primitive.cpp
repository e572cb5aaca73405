#include "primitives/primitive.h"

#include "model/data.h"
#include "model/globals.h"

ObjectRecord* newPrimitive(int kind, IntersectFn intersectFn, NormalFn normalFn, PrintFn printFn) {
    ObjectRecord* object = allocateRecord();
    if (object == nullptr) return nullptr;
    object->kind = kind;
    object->intersectFn = intersectFn;
    object->normalFn = normalFn;
    object->printFn = printFn;
    return object;
}

void addPrimitive(ObjectRecord* object) {
    addToList(&myObjectList, object);
    ++nPrims;
}
