#include "primitives/polygon.h"

#include <cassert>
#include <cstdio>
#include <deque>
#include <utility>

#include "primitives/flat.h"
#include "primitives/primitive.h"

namespace {

// The vertex arrays and edge flags of every polygon of the run. The records only point at
// them, and the scene lives until the process ends, so they stay here, reachable, for the
// whole run; a deque never moves the arrays it already holds.
std::deque<std::vector<Vector3>> vertexStore;
std::deque<std::vector<std::uint8_t>> sharedEdgeStore;

}  // namespace

ObjectRecord* makePolygon(std::vector<Vector3> vertices) {
    assert(hasPlane(vertices) && "the scene parser refuses polygons without a plane");
    Shape<PolygonData>* object =
        newPrimitive<PolygonData>(KIND_POLYGON, polygonIntersect, polygonNormal, polygonPrint);
    if (object == nullptr) return nullptr;

    const std::vector<Vector3>& stored = vertexStore.emplace_back(std::move(vertices));
    PolygonData& polygon = object->data;
    polygon.vertices = stored.data();
    polygon.vertexCount = static_cast<int>(stored.size());
    polygon.sharedEdges = sharedEdgeStore.emplace_back(stored.size(), 0).data();
    // The first three vertices give the plane unless they are collinear; then the first
    // triple that is not does, rather than a normal of 0/0.
    polygon.normal = flatNormal(stored);
    const ProjectionAxes axes = projectionAxes(polygon.normal);
    polygon.uAxis = axes.u;
    polygon.vAxis = axes.v;
    polygon.offset = -dot(polygon.normal, stored[0]);

    // Unlike the triangle's, a polygon's extents get no margin.
    polygon.slabs = slabExtents(stored, 0);
    addPrimitive(object);
    return object;
}

int polygonIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    const PolygonData& polygon = dataOf<PolygonData>(object);
    const auto count = static_cast<std::size_t>(polygon.vertexCount);
    return intersectFlatFace(object,
                             {polygon.normal, polygon.offset, {polygon.vertices, count},
                              {polygon.uAxis, polygon.vAxis}, {polygon.sharedEdges, count}},
                             ray, hit);
}

Vector3 polygonNormal(const ObjectRecord& object, const Vector3& /*point*/) {
    return dataOf<PolygonData>(object).normal;
}

int polygonPrint(const ObjectRecord& /*object*/) {
    return std::puts("polygon");
}
