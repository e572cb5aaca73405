#pragma once

#include "model/records.h"

// What a "surface" block starts from; keys it does not name keep these values.
constexpr Surface kDefaultSurface{
    .color = {0, 0, 0},
    .ambient = 0,
    .diffuse = 0,
    .brilliance = 0,
    .specular = 0,
    .roughness = 0,
    .reflection = 0,
    .reflectionType = REFLECTION_SHARP,
    .reflectionSamples = 10,
    .reflectionRadius = 1,
    .refraction = 0,
    .refractionIndex = 1,
};

// Copies the twelve surface attributes into the same-named fields of the object.
void setSurfaceAttrib(ObjectRecord& object, const Surface& surface);
