#pragma once

#include "model/records.h"
#include "render/context.h"

// Colour seen along a ray (each component at most 1) at the context's depth. Returns the hit
// distance, 1e10 when nothing is hit, 0 when the ray is past the depth limit.
double trace(const Ray& ray, Color& color, TraceContext& context);

// Colour at `point` of `object`, seen along `ray`; `normal` already faces the ray.
void shade(const ObjectRecord& object, const Ray& ray, Vector3 normal, Vector3 point, Color& color,
           TraceContext& context, const HitRecord& hit);

// Direction of the ray transmitted from a medium of index `first` into one of index `second`.
// Returns 1 for a refraction, 0 for total internal reflection (then `out` is the mirror ray).
int refractionDirection(double first, double second, Vector3 incident, Vector3 normal,
                        Vector3& out);
