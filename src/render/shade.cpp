#include "render/shade.h"

#include <cmath>
#include <limits>
#include <optional>

#include "accel/intersec.h"
#include "model/globals.h"
#include "primitives/primitive.h"
#include "render/light.h"

namespace {

// Rays are traced at depths 0 (primary) to 5; the sixth bounce is refused and adds black.
constexpr int kMaxDepth = 5;

// What trace reports for a ray that hits nothing: the traversal's own "infinitely far".
constexpr double kNoHit = 1e10;

// A light contributes diffuse light, and a mirror ray a highlight, only beyond this cosine.
constexpr double kMinCosine = 0.001;

// Below this |D·N| the literal mirror formula D / |D·N| + 2N would overflow when normalised.
constexpr double kGrazingCosine = 1e-12;

bool isFinite(Vector3 v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// The mirror image of D about N, which faces the ray. A ray parallel to the surface has no
// cosine to divide by; both branches give the same direction, and at D·N = 0 it is D itself.
Vector3 mirrorDirection(Vector3 d, Vector3 n) {
    const double c = std::fabs(dot(d, n));
    Vector3 r = c > kGrazingCosine ? Vector3{d.x / c, d.y / c, d.z / c} + 2 * n : d + 2 * c * n;
    VecNorm(r);
    return r;
}

// Diffuse and specular light of every light at the point, added to `color`.
void addLights(const ObjectRecord& object, Vector3 normal, Vector3 point, Vector3 mirror,
               Color& color, TraceContext& context) {
    const Surface& surface = *object.surface;
    for (const ObjectRecord* light = myLightList; light != nullptr; light = light->next) {
        const LightData& data = dataOf<LightData>(*light);
        Ray shadowRay;
        const double dist = makeLightRay(*light, point, shadowRay);
        // A point on the light itself sees it from no direction at all, nor does any point
        // see a light at no measurable distance.
        if (dist == 0) continue;
        const Vector3 toLight = shadowRay.direction;

        double spot = 1;
        if (data.lightType == LIGHT_SPOT) {
            const std::optional<double> factor = spotFactor(*light, toLight);
            if (!factor) continue;  // outside the outer cone: not even a highlight
            spot = *factor;
        }

        // The light adds diffuse light where it stands in front of the surface, and a
        // highlight where it lies near the mirror direction. Where it does neither, whether
        // anything shadows it changes nothing, and no shadow ray is traced.
        const double cosTheta = dot(toLight, normal);
        const bool lit = cosTheta > kMinCosine && surface.diffuse > 0;
        const double s = dot(toLight, mirror);
        const bool highlight = surface.specular > 0 && s > kMinCosine;
        if (!lit && !highlight) {
            if (data.shadowType == SHADOW_SMOOTH) skipSmoothShadow(*light, context);
            continue;
        }

        Color lc = data.shadowType == SHADOW_SMOOTH
                       ? smoothShadow(*light, object, shadowRay, dist, context)
                       : getLightColor(*light, object, shadowRay, dist, context);

        if (lit) {
            // Only lights brighter than 1 by this measure fall off with distance, so a dim
            // light keeps the strength the scene gives it wherever it stands. The measure
            // weighs red and green fully and blue by a third; it is not a mean, but existing
            // scenes are lit by it: (0.5, 0.5, 0) counts as 1 and keeps its strength, while
            // (0.5, 0.5, 0.5) counts as 1.17 and fades.
            const double intensity = lc.r + lc.g + lc.b / 3;
            if (intensity > 1) lc = attenuationFactor(*light, dist) * lc;
            if (data.lightType == LIGHT_SPOT) lc = spot * lc;
            const double f =
                surface.brilliance > 1 ? std::pow(cosTheta, surface.brilliance) : cosTheta;
            color = color + f * (surface.diffuse * surface.color * lc);
        }

        // The highlight takes the light's colour and whatever the diffuse step made of it;
        // a surface without diffuse light sees the light neither attenuated nor spot-scaled.
        if (highlight) color = color + std::pow(s, surface.roughness) * (surface.specular * lc);
    }
}

// How far a fuzzy reflection's samples stray from the mirror ray: the same radius blurs a
// farther surface less. A ray that meets the surface at distance 0 (it starts on it) leaves
// the spread without bound.
double fuzzySpread(double radius, double distance) {
    if (radius == 0) return 0;
    if (distance == 0) return std::numeric_limits<double>::infinity();
    return radius / distance;
}

// Traces a reflected or refracted ray one level deeper than the ray that made it, counting it
// among `traced` unless the depth limit refuses it.
double traceDeeper(const Ray& ray, Color& color, TraceContext& context, long long& traced) {
    ++context.depth;
    if (context.depth <= kMaxDepth) ++traced;
    const double distance = trace(ray, color, context);
    --context.depth;
    return distance;
}

// The mean of reflectionSamples rays scattered about the mirror ray, all traced at one depth.
Color fuzzyReflection(const Surface& surface, Vector3 point, Vector3 mirror, TraceContext& context,
                      const HitRecord& hit) {
    const double spread = fuzzySpread(surface.reflectionRadius, hit.distance);
    Color sum{0, 0, 0};
    for (int i = 0; i < surface.reflectionSamples; ++i) {
        const Vector3 jitter = randomDirection(context.random);
        Ray sample{point, mirror + spread * jitter};
        VecNorm(sample.direction);
        // An unbounded (or overflowing) spread leaves the limit of the push: the jitter itself.
        if (!isFinite(sample.direction)) sample.direction = jitter;
        Color rc;
        traceDeeper(sample, rc, context, context.rays.reflected);
        sum = sum + rc;
    }
    return sum / surface.reflectionSamples;
}

}  // namespace

double trace(const Ray& ray, Color& color, TraceContext& context) {
    color = {0, 0, 0};
    if (context.depth > kMaxDepth) return 0;

    // With haze every ray that escapes takes the full haze colour, the limit of the haze blend
    // over an unbounded distance, so the background is then never seen.
    HitRecord hit{};
    if (!intersect(ray, kNoHit, hit, nullptr, context.traversal)) {
        color = myHaze.factor > 0 ? myHaze.color : myBackGroundColor;
        return kNoHit;
    }

    const ObjectRecord& object = *hit.object;
    const Vector3 point = ray.origin + hit.distance * ray.direction;
    Vector3 normal = object.normalFn(object, point);
    if (dot(normal, ray.direction) > 0) normal = -normal;
    shade(object, ray, normal, point, color, context, hit);

    // Clamped from above only: a negative coefficient may still darken below black. Written
    // as the comparison that a single instruction does, rather than a call to fmin, with the
    // same result: a NaN component becomes 1, as fmin makes it.
    const auto atMostOne = [](double c) { return c < 1.0 ? c : 1.0; };
    color.r = atMostOne(color.r);
    color.g = atMostOne(color.g);
    color.b = atMostOne(color.b);
    return hit.distance;
}

void shade(const ObjectRecord& object, const Ray& ray, Vector3 normal, Vector3 point, Color& color,
           TraceContext& context, const HitRecord& hit) {
    const Surface& surface = *object.surface;
    const Vector3 d = ray.direction;
    Vector3 mirror{0, 0, 0};
    if (surface.specular > 0 || surface.reflection > 0) mirror = mirrorDirection(d, normal);

    // There is no ambient light colour: the surface's own colour stands for it.
    color = surface.ambient * surface.color;
    addLights(object, normal, point, mirror, color, context);

    if (surface.reflection > 0) {
        Color rc{0, 0, 0};
        // A fuzzy reflection asked for no samples is taken as a sharp one: the surface still
        // reflects as much, only without blur.
        if (surface.reflectionType == REFLECTION_FUZZY && surface.reflectionSamples > 0) {
            rc = fuzzyReflection(surface, point, mirror, context, hit);
        } else {
            traceDeeper(Ray{point, mirror}, rc, context, context.rays.reflected);
        }
        color = color + surface.reflection * rc;
    }

    // An index of exactly 1 lets no light through, whatever the refraction coefficient.
    if (surface.refraction > 0 && surface.refractionIndex > 1) {
        Vector3 transmitted;
        // Total internal reflection is traced along the mirror ray that refractionDirection
        // wrote, so its result needs no check here.
        if (hit.entering != 0) {
            refractionDirection(1, surface.refractionIndex, d, normal, transmitted);
        } else {
            refractionDirection(surface.refractionIndex, 1, d, normal, transmitted);
        }
        Color rc{0, 0, 0};
        const double inside =
            traceDeeper(Ray{point, transmitted}, rc, context, context.rays.refracted);
        // The surface colour is the transmittance of a unit of distance inside the object, so
        // light that crossed it is filtered once per unit travelled.
        if (inside > kEpsilon && hit.entering != 0) {
            rc = Color{std::pow(surface.color.r, inside), std::pow(surface.color.g, inside),
                       std::pow(surface.color.b, inside)} *
                 rc;
        }
        color = color + surface.refraction * rc;
    }

    // Haze thickens with the length of the ray that reached the point.
    if (myHaze.factor > 0) {
        const double w = 1 - std::pow(1 - myHaze.factor, hit.distance);
        color = w * myHaze.color + (1 - w) * color;
    }
}

int refractionDirection(double first, double second, Vector3 incident, Vector3 normal,
                        Vector3& out) {
    const double eta = first / second;
    const double c = -dot(incident, normal);
    const double k = 1 - eta * eta * (1 - c * c);
    if (k < 0) {
        out = incident + 2 * c * normal;
        VecNorm(out);
        return 0;
    }
    out = eta * incident + (eta * c - std::sqrt(k)) * normal;
    return 1;
}
