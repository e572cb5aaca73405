#include "primitives/ring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "model/globals.h"
#include "primitives/primitive.h"

// Precondition: the normal is finite and not zero (the scene parser refuses <0 0 0>), and the
// parser has already ordered the radii so that 0 <= innerRadius < outerRadius.
ObjectRecord* makeRing(double cx, double cy, double cz, double nx, double ny, double nz,
                       double innerRadius, double outerRadius) {
    Shape<RingData>* object =
        newPrimitive<RingData>(KIND_RING, ringIntersect, ringNormal, ringPrint);
    if (object == nullptr) return nullptr;

    // The scene may give a normal of any length. The slab extents below only hold for a unit
    // normal (with a component above 1, 1 - g² is negative and the ring would drop out of the
    // hierarchy), and shading uses the normal as it is returned, so it is made unit here.
    RingData& ring = object->data;
    ring.center = {cx, cy, cz};
    ring.normal = {nx, ny, nz};
    normalizeScaled(ring.normal);
    ring.offset = -dot(ring.normal, ring.center);
    ring.innerRadiusSquared = innerRadius * innerRadius;
    ring.outerRadiusSquared = outerRadius * outerRadius;

    // Along an axis at cosine g to the normal, the outer circle reaches outerRadius·√(1 - g²)
    // either side of the centre. The clamp guards the square root: should rounding ever leave
    // g² a hair above 1, the extent is 0 rather than NaN.
    for (int i = 0; i < 3; ++i) {
        const double g = dot(ring.normal, Slab[i]);
        const double extent = outerRadius * std::sqrt(std::max(0.0, 1 - g * g));
        const double c = dot(ring.center, Slab[i]);
        ring.slabs.slabMin[i] = c - extent;
        ring.slabs.slabMax[i] = c + extent;
    }
    addPrimitive(object);
    return object;
}

// Two-sided, unlike the plane: a ray meets the ring from either face. Only an exactly
// parallel ray is turned away; a nearly parallel one gets a far but finite distance that the
// radius test then judges.
int ringIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    const RingData& ring = dataOf<RingData>(object);
    hit.entering = 0;
    const double k = dot(ring.normal, ray.direction);
    if (k == 0) return 0;

    // The minimum distance keeps a secondary ray leaving the ring from finding it again.
    const double t = -(dot(ring.normal, ray.origin) + ring.offset) / k;
    if (!(t >= kEpsilon)) return 0;

    // Both circles belong to the ring. The tests are written so that a distance so large that
    // the hit point overflows (q infinite or NaN) is a miss rather than a hit at infinity.
    const Vector3 toCenter = ring.center - (ray.origin + t * ray.direction);
    const double q = dot(toCenter, toCenter);
    if (!(q <= ring.outerRadiusSquared)) return 0;
    if (!(q >= ring.innerRadiusSquared)) return 0;

    hit.entering = 1;
    hit.distance = t;
    hit.object = &object;
    return 1;
}

// The same unit normal over the whole ring; tracing turns it to face the ray.
Vector3 ringNormal(const ObjectRecord& object, const Vector3& /*point*/) {
    return dataOf<RingData>(object).normal;
}

int ringPrint(const ObjectRecord& object) {
    const RingData& ring = dataOf<RingData>(object);
    return std::printf("Ring: Nx = %g, Ny = %g, Nz = %g\n Cx = %g, Cy = %g, Cz = %g\n",
                       ring.normal.x, ring.normal.y, ring.normal.z, ring.center.x, ring.center.y,
                       ring.center.z);
}
