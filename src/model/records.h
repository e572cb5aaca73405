#pragma once

#include <cstdint>

#include "model/color.h"
#include "model/vector.h"

struct Ray {
    Vector3 origin;
    Vector3 direction;  // unit length
};

struct ObjectRecord;

// What a primitive's intersection test reports about a hit.
struct HitRecord {
    double distance;  // ray parameter of the hit
    int entering;     // 1 when the ray arrives from outside the primitive, 0 when it leaves it
    const ObjectRecord* object;
};

// The lowest and highest value of Slab[i]·p over an object's points p, for the three slab
// normals i.
struct SlabBox {
    double slabMin[3];
    double slabMax[3];
};

// The operations every primitive kind provides; its constructor sets them.
using IntersectFn = int (*)(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
using NormalFn = Vector3 (*)(const ObjectRecord& object, const Vector3& point);
using PrintFn = int (*)(const ObjectRecord& object);
using BoundsFn = SlabBox (*)(const ObjectRecord& object);

enum ObjectKind : int {
    KIND_LIGHT = 1,
    KIND_COMPOSITE = 2,
    KIND_SPHERE = 3,
    KIND_PLANE = 4,
    KIND_RING = 5,
    KIND_TRIANGLE = 6,
    KIND_POLYGON = 7,
    KIND_CONE = 8,
    KIND_PATCH = 9,
};

enum LightType : int { LIGHT_POINT = 0, LIGHT_SPOT = 1 };
enum ShadowType : int { SHADOW_SHARP = 0, SHADOW_SMOOTH = 1 };
enum AttenuationType : int { ATTENUATION_NONE = 0, ATTENUATION_D = 1, ATTENUATION_D2 = 2 };
enum ReflectionType : int { REFLECTION_SHARP = 0, REFLECTION_FUZZY = 1 };

// The surface an object block gives its primitives. Every object of one block shares one.
struct Surface {
    Color color;
    double ambient;
    double diffuse;
    double brilliance;
    double specular;
    double roughness;
    double reflection;
    int reflectionType;
    int reflectionSamples;
    double reflectionRadius;
    double refraction;
    double refractionIndex;
};

// One record type heads every scene object: primitives, the root of the bounding hierarchy
// and lights. `next` must stay the first field: the intrusive list helpers rely on it. What a
// kind needs beyond the head follows it in a Shape of that kind's data, so that each record
// is as large as its kind needs: a scene of a million faces is mostly records.
struct ObjectRecord {
    ObjectRecord* next;
    int kind;
    IntersectFn intersectFn;
    NormalFn normalFn;
    PrintFn printFn;
    BoundsFn boundsFn;       // the slab extents, which the hierarchy builder reads
    const Surface* surface;  // primitives only
};

template <typename Data>
struct Shape : ObjectRecord {
    Data data;
};

// The kind-specific data of a record made as a Shape<Data>.
template <typename Data>
const Data& dataOf(const ObjectRecord& object) {
    return static_cast<const Shape<Data>&>(object).data;
}
template <typename Data>
Data& dataOf(ObjectRecord& object) {
    return static_cast<Shape<Data>&>(object).data;
}

struct LightData {
    Vector3 position;
    Vector3 direction;  // unit axis of a spot light, towards its target
    Color color;
    int lightType;
    int shadowType;
    int attenuationType;
    int lightSamples;
    double lightRadius;
    double cosMinAngle;  // cosine of the inner cone's half-angle
    double cosMaxAngle;  // cosine of the outer cone's half-angle
};

struct SphereData {
    Vector3 center;
    double radius;
    double radiusSquared;
    SlabBox slabs;
};

// The plane is the set of points P with normal·P + offset = 0.
struct PlaneData {
    Vector3 normal;
    double offset;
};

// A ring or a disc (inner radius 0): the plane normal·P + offset = 0 between two circles.
struct RingData {
    Vector3 center;
    Vector3 normal;  // unit length
    double offset;
    double innerRadiusSquared;
    double outerRadiusSquared;
    SlabBox slabs;
};

// A cone or a cylinder: the open surface between the base and the cap circle.
struct ConeData {
    Vector3 baseCenter;
    double baseRadius;
    double axisOffset;  // axis·P + axisOffset is the height of P above the base plane
    Vector3 capCenter;
    double capRadius;
    Vector3 radialU;  // unit vectors spanning the cross-section plane
    Vector3 radialV;
    Vector3 axis;  // unit, from the base towards the cap
    double length;
    double slope;  // change of radius per unit of height
    double axialMin;
    double axialMax;
    SlabBox slabs;
};

// Flat kinds keep the two coordinates of the projection their inside test works in.
struct PolygonData {
    const Vector3* vertices;  // vertexCount of them, owned by the polygon module
    // Per edge (vertex i to i + 1), 1 when another flat face has the same edge; owned by the
    // polygon module, set by markSharedEdges.
    std::uint8_t* sharedEdges;
    Vector3 normal;           // unit length
    int vertexCount;
    double offset;  // the plane is normal·P + offset = 0
    int uAxis;
    int vAxis;
    SlabBox slabs;
};

struct TriangleData {
    Vector3 vertices[3];
    Vector3 normal;  // unit length
    double offset;
    int uAxis;
    int vAxis;
    SlabBox slabs;
    std::uint8_t sharedEdges[3];  // as the polygon's
};

struct PatchMesh;

// A smooth triangle. Its corners and their normals live in a mesh shared by the faces around
// them; the face keeps what its hit test reads on every ray.
struct PatchData {
    // Rows of the transposed inverse of the edge matrix: u = dualU·(X - vertex0) and
    // v = dualV·(X - vertex0) are the weights of a point X of the face.
    Vector3 dualU, dualV;
    Vector3 faceNormal;  // unit
    const PatchMesh* mesh;
    std::uint32_t corner[3];  // the mesh's vertices 0, 1 and 2 of the face
    // Bit k set: corner k's normal is the mesh's turned around, to the side the face's
    // winding faces.
    std::uint8_t turned;
};

// A colour named by a scene's "declare" statement.
struct ColorEntry {
    ColorEntry* next;
    char name[64];
    Color color;
};

enum ProjectionType : int { PROJECTION_FLAT = 0, PROJECTION_FISHEYE = 1 };

struct ViewPoint {
    Vector3 position;
    Vector3 up;
    Vector3 lookAt;
    Vector3 apertureLeft;
    Vector3 apertureUp;
    double fovH;  // half the horizontal field of view, radians
    double fovV;
    double ratio;
    double aperture;  // 0: no depth of field
    double focalLength;
    int cameraSamples;
    int projectionType;
};

constexpr int kOutputNameSize = 256;

struct DisplaySettings {
    int width;
    int height;
    char outputName[kOutputNameSize];  // without extension: the image writer adds it
};

struct Haze {
    double factor;
    Color color;
};

// Rows [start, end) of the image that one render thread scans.
struct RowBand {
    int start;
    int end;
};
