#include "primitives/cone.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

#include "model/globals.h"
#include "primitives/primitive.h"

namespace {

// How close to the z axis (1 - |axis.z|, about 2.6 degrees) an axis may come before the
// cross-section basis is built from the y axis instead: the cross product of two nearly
// parallel vectors loses its precision.
constexpr double kNearZAxis = 0.001;

// Whether the point at distance t along the ray is an admissible hit: beyond the minimum
// distance (strictly) and between the two end planes (both included). Written as positive
// comparisons so that a NaN or infinite root, which a degenerate quadratic can produce, fails.
bool isHit(const ConeData& cone, const Ray& ray, double t) {
    if (!(t > kEpsilon)) return false;
    const double height = dot(cone.axis, ray.origin + t * ray.direction);
    return cone.axialMin <= height && height <= cone.axialMax;
}

}  // namespace

// Precondition: the base and cap centres are finite and differ (the scene parser refuses a
// block whose two centres coincide); the axis and the slope are undefined otherwise. The radii
// are not negative and not both zero.
ObjectRecord* makeCone(double bx, double by, double bz, double baseRadius, double cx, double cy,
                       double cz, double capRadius) {
    Shape<ConeData>* object =
        newPrimitive<ConeData>(KIND_CONE, coneIntersect, coneNormal, conePrint);
    if (object == nullptr) return nullptr;

    ConeData& cone = object->data;
    cone.baseCenter = {bx, by, bz};
    cone.baseRadius = baseRadius;
    cone.capCenter = {cx, cy, cz};
    cone.capRadius = capRadius;

    cone.axis = cone.capCenter - cone.baseCenter;
    cone.length = normalizeScaled(cone.axis);
    cone.slope = (capRadius - baseRadius) / cone.length;
    cone.axisOffset = -dot(cone.axis, cone.baseCenter);

    // Any reference vector not parallel to the axis gives a basis of the cross-section plane.
    const Vector3 reference =
        1 - std::fabs(cone.axis.z) < kNearZAxis ? Vector3{0, 1, 0} : Vector3{0, 0, 1};
    cone.radialU = cross(cone.axis, reference);
    VecNorm(cone.radialU);
    cone.radialV = cross(cone.radialU, cone.axis);

    cone.axialMin = dot(cone.axis, cone.baseCenter);
    cone.axialMax = dot(cone.axis, cone.capCenter);
    if (cone.axialMin > cone.axialMax) std::swap(cone.axialMin, cone.axialMax);

    // The surface lies within its two end circles' extents. Along an axis at cosine g to the
    // cone's axis a circle reaches radius·√(1 - g²) either side of its centre. The clamp
    // guards the square root: should rounding ever leave g² a hair above 1, w is 0, not NaN.
    for (int i = 0; i < 3; ++i) {
        const double g = dot(cone.axis, Slab[i]);
        const double w = std::sqrt(std::max(0.0, 1 - g * g));
        const double b = dot(cone.baseCenter, Slab[i]);
        const double c = dot(cone.capCenter, Slab[i]);
        cone.slabs.slabMin[i] = std::min(b - baseRadius * w, c - capRadius * w);
        cone.slabs.slabMax[i] = std::max(b + baseRadius * w, c + capRadius * w);
    }
    addPrimitive(object);
    return object;
}

// Solves the quadratic of the infinite cone in the frame of the base centre and keeps the
// nearest root between the end planes. The surface is open, so a ray can enter through an
// end and meet the inside wall: the far root is tried when the near one is out of range.
int coneIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    const ConeData& cone = dataOf<ConeData>(object);
    const Vector3 origin = ray.origin - cone.baseCenter;
    const double p1 = dot(cone.radialU, origin);
    const double p2 = dot(cone.radialV, origin);
    const double h0 = dot(cone.axis, origin);
    const double d1 = dot(cone.radialU, ray.direction);
    const double d2 = dot(cone.radialV, ray.direction);
    const double da = dot(cone.axis, ray.direction);
    const double k = cone.slope;
    const double r0 = cone.baseRadius;

    // Compute the coefficients of a·t² + b·t + c = 0
    const double a = d1 * d1 + d2 * d2 - k * k * da * da;
    const double b = 2 * (d1 * p1 + d2 * p2 - k * k * h0 * da - r0 * k * da);
    const double c = p1 * p1 + p2 * p2 - (r0 + h0 * k) * (r0 + h0 * k);

    double t;
    if (a == 0) {
        // A ray parallel to a side line meets the surface at most once. When b is 0 as well
        // (a ray parallel to a cylinder's axis) it never crosses the wall: it misses.
        if (b == 0) return 0;
        t = -c / b;
        if (!isHit(cone, ray, t)) return 0;
    } else {
        const double disc = b * b - 4 * a * c;
        if (disc < 0) return 0;
        const double s = std::sqrt(disc);
        const double t1 = (-b - s) / (2 * a);
        const double t2 = (s - b) / (2 * a);

        // With a < 0 (a ray steeper than the side lines) the roots come in the other order.
        const double nearRoot = std::min(t1, t2);
        const double farRoot = std::max(t1, t2);
        if (isHit(cone, ray, nearRoot)) {
            t = nearRoot;
        } else if (isHit(cone, ray, farRoot)) {
            t = farRoot;
        } else {
            return 0;
        }
    }

    // The cone does not tell inside from outside: every hit is reported as leaving it.
    hit.entering = 0;
    hit.distance = t;
    hit.object = &object;
    return 1;
}

Vector3 coneNormal(const ObjectRecord& object, const Vector3& point) {
    const ConeData& cone = dataOf<ConeData>(object);

    // Find the radial direction of the point by moving it along the axis into the base plane.
    const double h = dot(cone.axis, point) + cone.axisOffset;
    Vector3 radial = point - h * cone.axis - cone.baseCenter;

    // The apex of a pointed cone lies on the axis and has no radial direction; any side line
    // through it gives a usable normal, so take the one along radialU rather than divide by 0.
    if (dot(radial, radial) > 0) {
        VecNorm(radial);
    } else {
        radial = cone.radialU;
    }

    // Tilt the radial direction against the change of radius: towards the cap for a cone that
    // narrows towards it, away from it for one that widens.
    Vector3 normal = radial - cone.slope * cone.axis;
    VecNorm(normal);
    return normal;
}

int conePrint(const ObjectRecord& object) {
    const ConeData& cone = dataOf<ConeData>(object);
    return std::printf("Cone: %g %g %g %g %g %g %g %g\n", cone.baseCenter.x, cone.baseCenter.y,
                       cone.baseCenter.z, cone.baseRadius, cone.capCenter.x, cone.capCenter.y,
                       cone.capCenter.z, cone.capRadius);
}
