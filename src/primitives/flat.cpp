#include "primitives/flat.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <functional>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "model/data.h"
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

// A point of a projection: the projected coordinates or the ray frame's across and up.
struct Point2 {
    double u;
    double v;
};

// Whether (pu, pv) lies within 0.001 of the segment from a to b.
bool withinToleranceOfSegment(double pu, double pv, Point2 a, Point2 b) {
    const double du = b.u - a.u;
    const double dv = b.v - a.v;
    const double length2 = du * du + dv * dv;
    double along = length2 > 0 ? ((pu - a.u) * du + (pv - a.v) * dv) / length2 : 0;
    along = std::clamp(along, 0.0, 1.0);
    const double eu = a.u + along * du - pu;
    const double ev = a.v + along * dv - pv;
    return eu * eu + ev * ev < kEpsilon * kEpsilon;
}

// The ray's frame of insideAlongRay: `depth` is the coordinate of the ray direction's largest
// magnitude, `across` and `up` the other two; a point's offset from the origin is sheared along
// the direction onto the plane depth = 0, where the ray itself is the point (0, 0).
struct RayFrame {
    int across;
    int up;
    int depth;
    double shearAcross;
    double shearUp;
};

RayFrame rayFrame(const Vector3& direction) {
    RayFrame frame{};
    const double dx = std::fabs(direction.x);
    const double dy = std::fabs(direction.y);
    const double dz = std::fabs(direction.z);
    frame.depth = dx >= dy && dx >= dz ? 0 : dy >= dz ? 1 : 2;
    frame.across = (frame.depth + 1) % 3;
    frame.up = (frame.depth + 2) % 3;
    const double d = coordinate(direction, frame.depth);
    frame.shearAcross = -coordinate(direction, frame.across) / d;
    frame.shearUp = -coordinate(direction, frame.up) / d;
    return frame;
}

Point2 inRayFrame(const RayFrame& frame, const Vector3& origin, const Vector3& p) {
    const Vector3 offset = p - origin;
    const double depth = coordinate(offset, frame.depth);
    return {coordinate(offset, frame.across) + frame.shearAcross * depth,
            coordinate(offset, frame.up) + frame.shearUp * depth};
}

// Whether the edge from a to b (across, up) crosses the half-line from (0, 0) towards increasing
// across. An endpoint exactly on up = 0 counts as below. The side of the
// crossing is the sign of the edge function a x b over the edge's rise; swapping a and b negates
// both exactly, and a ray exactly on the edge's line counts as crossing for either order.
bool crossesRightHalfLine(const Point2& a, const Point2& b) {
    if ((a.v > 0) == (b.v > 0)) return false;
    const double edge = a.u * b.v - a.v * b.u;
    return edge == 0 || (edge > 0) == (b.v > a.v);
}

// An edge by its two end points, the lower one (in x, then y, then z) first, so that both
// faces of an edge name it alike whichever way they run along it.
struct EdgeKey {
    Vector3 low;
    Vector3 high;
    bool operator==(const EdgeKey& other) const {
        return low.x == other.low.x && low.y == other.low.y && low.z == other.low.z &&
               high.x == other.high.x && high.y == other.high.y && high.z == other.high.z;
    }
};

EdgeKey edgeKey(const Vector3& p, const Vector3& q) {
    const bool qFirst = std::tie(q.x, q.y, q.z) < std::tie(p.x, p.y, p.z);
    return qFirst ? EdgeKey{q, p} : EdgeKey{p, q};
}

struct EdgeHash {
    std::size_t operator()(const EdgeKey& edge) const {
        std::size_t h = 0;
        for (double c : {edge.low.x, edge.low.y, edge.low.z, edge.high.x, edge.high.y, edge.high.z}) {
            h = h * 1000003 ^ std::hash<double>{}(c);
        }
        return h;
    }
};

// A flat face's vertices and the flags of its edges.
struct FaceEdges {
    std::span<const Vector3> vertices;
    std::span<std::uint8_t> shared;
};

std::vector<FaceEdges> flatFaces(ObjectRecord* list) {
    std::vector<FaceEdges> faces;
    for (ObjectRecord* object = list; object != nullptr; object = object->next) {
        if (object->kind == KIND_TRIANGLE) {
            TriangleData& triangle = dataOf<TriangleData>(*object);
            faces.push_back({triangle.vertices, triangle.sharedEdges});
        } else if (object->kind == KIND_POLYGON) {
            const PolygonData& polygon = dataOf<PolygonData>(*object);
            const auto count = static_cast<std::size_t>(polygon.vertexCount);
            faces.push_back({{polygon.vertices, count}, {polygon.sharedEdges, count}});
        }
    }
    return faces;
}

EdgeKey edgeOf(const FaceEdges& face, std::size_t i) {
    return edgeKey(face.vertices[i], face.vertices[(i + 1) % face.vertices.size()]);
}

}  // namespace

void markSharedEdges(ObjectRecord* list) {
    const std::vector<FaceEdges> faces = flatFaces(list);
    std::unordered_map<EdgeKey, int, EdgeHash> uses;
    for (const FaceEdges& face : faces) {
        for (std::size_t i = 0; i < face.vertices.size(); ++i) ++uses[edgeOf(face, i)];
    }
    for (const FaceEdges& face : faces) {
        for (std::size_t i = 0; i < face.vertices.size(); ++i) {
            face.shared[i] = uses[edgeOf(face, i)] > 1 ? 1 : 0;
        }
    }
}

bool insideAlongRay(std::span<const Vector3> vertices, const Ray& ray) {
    const RayFrame frame = rayFrame(ray.direction);
    bool inside = false;
    Point2 from = inRayFrame(frame, ray.origin, vertices.back());
    for (const Vector3& vertex : vertices) {
        const Point2 to = inRayFrame(frame, ray.origin, vertex);
        if (crossesRightHalfLine(from, to)) inside = !inside;
        from = to;
    }
    return inside;
}

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
                       const Vector3& point, std::span<const std::uint8_t> sharedEdges,
                       bool& nearShared) {
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
        if (!sharedEdges.empty() && sharedEdges[i] != 0 &&
            withinToleranceOfSegment(pu, pv, {ui, vi}, {uj, vj})) {
            nearShared = true;
        }

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

int intersectFlatFace(const ObjectRecord& object, const FlatFace& face, const Ray& ray,
                      HitRecord& hit) {
    hit.entering = 0;
    double t = 0;
    if (!flatHitDistance(face.normal, face.offset, ray, t)) return 0;
    // The projected count alone leaks: its tolerance, taken in each face's own projection, can
    // push a point of a shared edge out of both faces. Near such an edge, the test along the
    // ray, exact and the same for both faces, takes back every point that lies within the
    // face. Edges that bound one face only keep the projected count's outline.
    bool nearShared = false;
    if (!insideByCrossings(face.vertices, face.axes, ray.origin + t * ray.direction,
                           face.sharedEdges, nearShared) &&
        !(nearShared && insideAlongRay(face.vertices, ray))) {
        return 0;
    }

    hit.entering = 1;
    hit.distance = t;
    hit.object = &object;
    return 1;
}
