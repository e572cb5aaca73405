#pragma once

#include <optional>

#include "model/records.h"
#include "render/context.h"

// Adds a point or spot light to the front of myLightList; `direction` (from the light towards
// its target) need not be of unit length. On exhausted memory the scene goes on without it.
void makeLight(Vector3 position, Color color, int lightType, int attenuationType, int shadowType,
               double lightRadius, int lightSamples, double cosMinAngle, double cosMaxAngle,
               Vector3 direction);

// Aims `out` from `point` at the light and returns the distance to the light. A point that
// lies on the light, or a light at no measurable distance (infinite, not a number), has no
// direction towards it: the result is then 0 and the direction zero.
double makeLightRay(const ObjectRecord& light, Vector3 point, Ray& out);

// The light's colour when nothing but `object` (the surface being shaded) lies between the
// shadow ray's origin and the light, `dist` away; black otherwise.
Color getLightColor(const ObjectRecord& light, const ObjectRecord& object, const Ray& shadowRay,
                    double dist, TraceContext& context);

// The light's colour times the fraction of lightSamples jittered shadow rays that reach it.
Color smoothShadow(const ObjectRecord& light, const ObjectRecord& object, const Ray& shadowRay,
                   double dist, TraceContext& context);

// What smoothShadow draws from the sample's random stream, drawn without tracing anything: for
// a light that cannot add to the point being shaded, so that what the sample draws next is
// what it would have drawn had the light been traced.
void skipSmoothShadow(const ObjectRecord& light, TraceContext& context);

// Strength of a spot light at a point seen along `toLight` (unit, from the point towards the
// light): 1 inside the inner cone, falling linearly in the cosine to 0 on the outer cone, and
// no value outside the outer cone, where the light must be skipped altogether.
std::optional<double> spotFactor(const ObjectRecord& light, Vector3 toLight);

// Distance attenuation of the light at `dist`: 1/dist, 1/dist² or 1 by its attenuationType.
double attenuationFactor(const ObjectRecord& light, double dist);

// A random unit vector, the jitter of soft shadows and fuzzy reflections: three numbers in
// (-0.5, 0.5], drawn in the order x, y, z. It is a point of a cube pushed onto the sphere, so
// its directions are not uniformly distributed.
Vector3 randomDirection(SampleRandom& random);
constexpr int kDrawsPerDirection = 3;  // the numbers one randomDirection draws
