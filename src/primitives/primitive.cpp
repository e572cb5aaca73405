#include "primitives/primitive.h"

#include "model/globals.h"

void addPrimitive(ObjectRecord* object) {
    addToList(&myObjectList, object);
    ++nPrims;
}
