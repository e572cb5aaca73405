#include "primitives/sphere.h"

#include <cmath>
#include <cstdio>

#include "model/globals.h"
#include "primitives/primitive.h"

ObjectRecord* makeSphere(double cx, double cy, double cz, double radius) {
    Shape<SphereData>* object =
        newPrimitive<SphereData>(KIND_SPHERE, sphereIntersect, sphereNormal, spherePrint);
    if (object == nullptr) return nullptr;

    SphereData& sphere = object->data;
    sphere.center = {cx, cy, cz};
    sphere.radius = radius;
    sphere.radiusSquared = radius * radius;

    // A negative radius describes the same ball: only its magnitude bounds it.
    const double extent = std::fabs(radius);
    for (int i = 0; i < 3; ++i) {
        const double d = dot(sphere.center, Slab[i]);
        sphere.slabs.slabMin[i] = d - extent;
        sphere.slabs.slabMax[i] = d + extent;
    }
    addPrimitive(object);
    return object;
}

// Relies on a unit ray direction. A ray that starts on the surface going inwards finds the
// far side; going outwards both roots fall under the tolerance and it misses, which is what
// keeps a reflected or shadow ray from hitting the sphere it leaves.
int sphereIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    const SphereData& sphere = dataOf<SphereData>(object);
    const Vector3 toCenter = sphere.center - ray.origin;
    const double b = dot(toCenter, ray.direction);
    const double c = dot(toCenter, toCenter);
    const double disc = b * b - c + sphere.radiusSquared;
    if (disc < 0) return 0;

    // Take the nearer root unless it lies behind (or on) the origin.
    const double s = std::sqrt(disc);
    double t = b - s;
    if (t < kEpsilon) t = b + s;
    if (t < kEpsilon) return 0;

    hit.entering = c > sphere.radiusSquared + kEpsilon ? 1 : 0;
    hit.distance = t;
    hit.object = &object;
    return 1;
}

Vector3 sphereNormal(const ObjectRecord& object, const Vector3& point) {
    Vector3 normal = point - dataOf<SphereData>(object).center;
    VecNorm(normal);
    return normal;
}

int spherePrint(const ObjectRecord& object) {
    const SphereData& sphere = dataOf<SphereData>(object);
    return std::printf("Sphere: Cx = %g, Cy = %g, Cz = %g, R = %g\n", sphere.center.x,
                       sphere.center.y, sphere.center.z, sphere.radius);
}
