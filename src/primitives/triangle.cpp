#include "primitives/triangle.h"

#include <cassert>
#include <cstdio>
#include <span>

#include "primitives/flat.h"
#include "primitives/primitive.h"

ObjectRecord* makeTriangle(const Vector3 vertices[3]) {
    const std::span<const Vector3, 3> corners(vertices, 3);
    assert(hasPlane(corners) && "the scene parser refuses triangles without a plane");
    Shape<TriangleData>* object =
        newPrimitive<TriangleData>(KIND_TRIANGLE, triangleIntersect, triangleNormal, trianglePrint);
    if (object == nullptr) return nullptr;

    TriangleData& triangle = object->data;
    for (int i = 0; i < 3; ++i) triangle.vertices[i] = corners[i];
    triangle.normal = flatNormal(corners);
    const ProjectionAxes axes = projectionAxes(triangle.normal);
    triangle.uAxis = axes.u;
    triangle.vAxis = axes.v;
    triangle.offset = -dot(triangle.normal, corners[0]);
    for (std::uint8_t& shared : triangle.sharedEdges) shared = 0;

    // A triangle in a coordinate plane has slabs of no thickness; the margin keeps the
    // traversal's slab test from losing it to rounding.
    triangle.slabs = slabExtents(corners, kEpsilon);
    addPrimitive(object);
    return object;
}

// The polygon's test with three vertices: both faces, the same parallel and distance bars, the
// same one-sided tolerance on slanted edges and the same mend along shared edges.
int triangleIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    const TriangleData& triangle = dataOf<TriangleData>(object);
    return intersectFlatFace(object,
                             {triangle.normal, triangle.offset, triangle.vertices,
                              {triangle.uAxis, triangle.vAxis}, triangle.sharedEdges},
                             ray, hit);
}

Vector3 triangleNormal(const ObjectRecord& object, const Vector3& /*point*/) {
    return dataOf<TriangleData>(object).normal;
}

int trianglePrint(const ObjectRecord& /*object*/) {
    return std::puts("triangle");
}
