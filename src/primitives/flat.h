#pragma once

#include <cstdint>
#include <span>

#include "model/records.h"

// Geometry shared by the flat kinds: the polygon and the triangle test their inside in a
// projection onto a coordinate plane with one crossing count; the patch shares the plane
// check and the slab extents.

// Whether the points span a plane: some three of them are not collinear. Faces that do not
// have no normal and are refused before they reach a constructor. Three points count as
// collinear when the third lies closer to the line through the other two than a billionth of
// the larger of their longest side and their largest coordinate, so a set that is collinear
// up to rounding is refused as well as an exactly degenerate one.
bool hasPlane(std::span<const Vector3> points);

// The unit normal (A - B) x (C - B) of the first non-collinear triple A, B, C of the points,
// in the order (V0, V1, V2), (V0, V1, V3), ..., (V0, V2, V3), ...; for points that start with
// a proper triangle that is (V0 - V1) x (V2 - V1). Points without a plane (see hasPlane) get
// a zero normal, which every ray misses as parallel.
Vector3 flatNormal(std::span<const Vector3> points);

// The two coordinates (0 = x, 1 = y, 2 = z) kept when a flat face with this normal is
// projected onto a coordinate plane: the normal's dominant coordinate is dropped, ties
// going to x before y and to y before z.
struct ProjectionAxes {
    int u;
    int v;
};
ProjectionAxes projectionAxes(const Vector3& normal);

// The distance t at which the ray meets the plane normal·P + offset = 0 from either side.
// False for a ray within 0.001 of parallel (|normal·D| < 0.001) and for t < 0.001.
bool flatHitDistance(const Vector3& normal, double offset, const Ray& ray, double& t);

// Whether the point, projected on the axes, lies inside the closed polygon through the
// vertices in order, by the parity of the edges a half-line towards decreasing u crosses.
// `nearShared` is set when the point lies within 0.001 of an edge flagged in `sharedEdges`
// (one flag per edge from vertex i to i + 1; empty when none is shared).
bool insideByCrossings(std::span<const Vector3> vertices, ProjectionAxes axes,
                       const Vector3& point, std::span<const std::uint8_t> sharedEdges,
                       bool& nearShared);

// Whether the ray's line passes through the closed polygon through the vertices in order, by
// the parity of the edges crossed in the plane across the ray. Each edge is decided from its
// two endpoints and the ray alone, the same way whichever face it bounds and in whichever
// order, so a ray that crosses an edge shared by two faces passes through exactly one of them
// (or both, where the faces fold over each other as seen along the ray).
bool insideAlongRay(std::span<const Vector3> vertices, const Ray& ray);

// The whole test of a polygon or a triangle: the plane, then the projected crossing count,
// then, for a point that count rejects within 0.001 of a shared edge, the test along the ray.
// Both faces are hit, with `entering` 1.
struct FlatFace {
    Vector3 normal;
    double offset;
    std::span<const Vector3> vertices;
    ProjectionAxes axes;
    std::span<const std::uint8_t> sharedEdges;
};
int intersectFlatFace(const ObjectRecord& object, const FlatFace& face, const Ray& ray,
                      HitRecord& hit);

// Flags, in every triangle and polygon of the list, the edges that another of them has too
// (the same two end points, in either order). Only the scene's faces know their neighbours, so
// this runs once the scene is read.
void markSharedEdges(ObjectRecord* list);

// The lowest and highest Slab[i]·p over the points, widened by `margin` on both sides. The
// extents start from +1e10 and -1e10.
SlabBox slabExtents(std::span<const Vector3> points, double margin);
