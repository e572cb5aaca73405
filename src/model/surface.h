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

// The surface of an object that no block gave one: every attribute 0, so it shows black.
inline constexpr Surface kBlankSurface{};

// Gives the object the twelve surface attributes. Objects given equal surfaces one after the
// other (every object of one surface block, every face of one 3DS material) share one copy,
// which lives until releaseSurfaces.
void setSurfaceAttrib(ObjectRecord& object, const Surface& surface);

// The shared copy of the surface that setSurfaceAttrib would give an object now.
const Surface* shareSurface(const Surface& surface);

// Releases every shared copy, once no object points at them any more.
void releaseSurfaces();
