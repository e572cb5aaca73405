#include "primitives/plane.h"

#include <cstdio>

#include "primitives/primitive.h"

ObjectRecord* makePlane(double a, double b, double c, double d) {
    Shape<PlaneData>* object =
        newPrimitive<PlaneData>(KIND_PLANE, planeIntersect, planeNormal, planePrint, planeBounds);
    if (object == nullptr) return nullptr;

    // The offset is not rescaled with the normal: with a non-unit (a, b, c) the plane lies
    // at distance d along the unit normal.
    PlaneData& plane = object->data;
    plane.normal = {a, b, c};
    plane.offset = -d;
    VecNorm(plane.normal);
    addPrimitive(object);
    return object;
}

// One-sided: only rays travelling along the stored normal by at least the tolerance hit it.
// The scene gives the opposite normal, so the plane is seen from the side its scene normal
// points to. There is no minimum distance: a ray starting on the plane hits it at t = 0.
int planeIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    const PlaneData& plane = dataOf<PlaneData>(object);
    hit.entering = 0;
    const double k = dot(plane.normal, ray.direction);
    if (k < kEpsilon) return 0;

    const double t = -(dot(plane.normal, ray.origin) + plane.offset) / k;
    if (t < 0) return 0;

    hit.entering = 1;
    hit.distance = t;
    hit.object = &object;
    return 1;
}

// An infinite plane reaches as far as any box can.
SlabBox planeBounds(const ObjectRecord& /*object*/) {
    return {{-kUnbounded, -kUnbounded, -kUnbounded}, {kUnbounded, kUnbounded, kUnbounded}};
}

Vector3 planeNormal(const ObjectRecord& object, const Vector3& /*point*/) {
    return dataOf<PlaneData>(object).normal;
}

int planePrint(const ObjectRecord& object) {
    const PlaneData& plane = dataOf<PlaneData>(object);
    return std::printf("Plane: Nx = %g, Ny = %g, Nz = %g, D = %g\n", plane.normal.x, plane.normal.y,
                       plane.normal.z, plane.offset);
}
