#include "primitives/flat.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "model/globals.h"
#include "primitives/primitive.h"

namespace {

// Smallest height of a face, relative to its size, that still counts as a plane. Rounding a
// double coordinate moves a point by about 1e-16 of the coordinate's magnitude, so points
// that are collinear up to rounding stay many orders of magnitude under this bar and are
// refused, while every face it refuses is far thinner than the 0.001 tolerance of the hit
// tests and could not show in a picture. Coordinates that were single-precision floats (3DS
// models) carry about 6e-8 of noise: a face collinear only up to that may pass; its normal is
// then rough, but finite.
constexpr double kCollinearTolerance = 1e-9;

double largestCoordinate(const Vector3& p) {
    return std::max({std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
}

// Whether a, b and c are far enough from one line to define a plane. |(a - b) x (c - b)| is
// the longest side times the smallest height; the bar scales with the longest side and with
// the coordinates, whose magnitude is what sets the rounding noise. Written so that NaN or
// infinite coordinates count as no plane.
bool spansPlane(const Vector3& a, const Vector3& b, const Vector3& c) {
    const Vector3 ab = a - b;
    const Vector3 cb = c - b;
    const Vector3 ac = a - c;
    const double longest = std::sqrt(std::max({dot(ab, ab), dot(cb, cb), dot(ac, ac)}));
    const double reach =
        std::max({longest, largestCoordinate(a), largestCoordinate(b), largestCoordinate(c)});
    return length(cross(ab, cb)) > kCollinearTolerance * reach * longest;
}

// Finds the first triple (0, j, k), j < k, that spans a plane. Keeping the first point loses
// nothing (up to the tolerance): if any three points span a plane, the first point spans one
// with two of them. The search then costs one pass when the first two points are distinct,
// and all pairs only for input without a plane.
bool firstPlaneTriple(std::span<const Vector3> points, std::size_t& j, std::size_t& k) {
    for (j = 1; j < points.size(); ++j) {
        for (k = j + 1; k < points.size(); ++k) {
            if (spansPlane(points[0], points[j], points[k])) return true;
        }
    }
    return false;
}

double coordinate(const Vector3& p, int axis) {
    return axis == 0 ? p.x : axis == 1 ? p.y : p.z;
}

}  // namespace

bool hasPlane(std::span<const Vector3> points) {
    std::size_t j = 0;
    std::size_t k = 0;
    return firstPlaneTriple(points, j, k);
}

Vector3 flatNormal(std::span<const Vector3> points) {
    std::size_t j = 0;
    std::size_t k = 0;
    if (!firstPlaneTriple(points, j, k)) return {0, 0, 0};
    Vector3 normal = cross(points[0] - points[j], points[k] - points[j]);
    VecNorm(normal);
    return normal;
}

ProjectionAxes projectionAxes(const Vector3& normal) {
    const double nx = std::fabs(normal.x);
    const double ny = std::fabs(normal.y);
    const double nz = std::fabs(normal.z);
    if (nx >= ny && nx >= nz) return {1, 2};
    if (ny >= nz) return {0, 2};
    return {0, 1};
}

// Both faces are hit. The parallel bar is open: k = ±0.001 still meets the plane.
bool flatHitDistance(const Vector3& normal, double offset, const Ray& ray, double& t) {
    const double k = dot(normal, ray.direction);
    if (-kEpsilon < k && k < kEpsilon) return false;
    t = -(dot(normal, ray.origin) + offset) / k;
    return t >= kEpsilon;
}

// The half-line runs from the point towards decreasing u; an edge counts when it straddles
// the line v = pv and meets it on that side. The crossing itself is taken with a one-sided
// tolerance: a crossing up to 0.001 on the high-u side of the point still counts, which moves
// the inside region by up to 0.001 towards lower u along slanted edges. Edges parallel to u
// never straddle, and edges parallel to v are decided by the exact comparisons, so a face
// bounded by the projection axes has exact edges.
bool insideByCrossings(std::span<const Vector3> vertices, ProjectionAxes axes,
                       const Vector3& point) {
    const double pu = coordinate(point, axes.u);
    const double pv = coordinate(point, axes.v);
    bool inside = false;
    const std::size_t count = vertices.size();
    for (std::size_t i = 0; i < count; ++i) {
        const Vector3& from = vertices[i];
        const Vector3& to = vertices[(i + 1) % count];
        const double ui = coordinate(from, axes.u);
        const double vi = coordinate(from, axes.v);
        const double uj = coordinate(to, axes.u);
        const double vj = coordinate(to, axes.v);

        if (vi == vj) continue;
        // An endpoint exactly on the line counts as above it, so a vertex the line passes
        // through is counted once, by one of its two edges.
        if ((pv > vi) == (pv > vj)) continue;
        if (pu > ui && pu > uj) {
            inside = !inside;
            continue;
        }
        if (pu <= ui && pu <= uj) continue;

        // The endpoints lie on both sides of pu: find where the edge meets v = pv, relative
        // to pu.
        const double slope = (vj - vi) / (uj - ui);
        const double crossing = -((vj - pv) - (uj - pu) * slope) / slope;
        if (crossing < kEpsilon) inside = !inside;
    }
    return inside;
}

SlabBox slabExtents(std::span<const Vector3> points, double margin) {
    SlabBox box;
    for (int i = 0; i < 3; ++i) {
        double low = kUnbounded;
        double high = -kUnbounded;
        for (const Vector3& p : points) {
            const double d = dot(p, Slab[i]);
            low = std::min(low, d);
            high = std::max(high, d);
        }
        box.slabMin[i] = low - margin;
        box.slabMax[i] = high + margin;
    }
    return box;
}

int intersectFlatFace(const ObjectRecord& object, const Vector3& normal, double offset,
                      std::span<const Vector3> vertices, ProjectionAxes axes, const Ray& ray,
                      HitRecord& hit) {
    hit.entering = 0;
    double t = 0;
    if (!flatHitDistance(normal, offset, ray, t)) return 0;
    if (!insideByCrossings(vertices, axes, ray.origin + t * ray.direction)) return 0;

    hit.entering = 1;
    hit.distance = t;
    hit.object = &object;
    return 1;
}
