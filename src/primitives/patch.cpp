#include "primitives/patch.h"

#include <cassert>
#include <cstdio>

#include "primitives/flat.h"
#include "primitives/primitive.h"

namespace {

// The unit vertex normal, or the face normal for a vertex whose normal has no length, which
// normalising would turn into NaN (the 3DS import leaves isolated vertices a zero normal).
Vector3 vertexNormal(Vector3 normal, const Vector3& faceNormal) {
    if (!(length(normal) > 0)) return faceNormal;
    VecNorm(normal);
    return normal;
}

}  // namespace

// c has the direction of (P1 - P0) x (P2 - P0). A normal in the face's plane (c·N = 0) is
// negated too; it stays in the plane.
void checkPatch(Vector3 face[6]) {
    const Vector3 c = cross(face[0] - face[2], face[0] - face[4]);
    for (int k = 1; k < 6; k += 2) {
        if (dot(c, face[k]) <= 0) face[k] = -face[k];
    }
}

void invertMatrix(const double m[9], double result[9]) {
    const double cofactors[9] = {
        m[4] * m[8] - m[5] * m[7], m[5] * m[6] - m[3] * m[8], m[3] * m[7] - m[4] * m[6],
        m[2] * m[7] - m[1] * m[8], m[0] * m[8] - m[2] * m[6], m[1] * m[6] - m[0] * m[7],
        m[1] * m[5] - m[2] * m[4], m[2] * m[3] - m[0] * m[5], m[0] * m[4] - m[1] * m[3],
    };
    const double det = m[6] * m[1] * m[5] + m[0] * m[4] * m[8] + m[7] * m[3] * m[2] -
                       m[6] * m[4] * m[2] - m[7] * m[0] * m[5] - m[3] * m[1] * m[8];
    const double inverseDet = 1 / det;
    for (int i = 0; i < 9; ++i) result[i] = cofactors[i] * inverseDet;
}

ObjectRecord* makePatch(Vector3 face[6]) {
    checkPatch(face);
    const Vector3 vertices[3] = {face[0], face[2], face[4]};
    assert(hasPlane(vertices) &&
           "the scene parser and the 3DS import refuse faces without a plane");
    ObjectRecord* object = newPrimitive(KIND_PATCH, patchIntersect, patchNormal, patchPrint);
    if (object == nullptr) return nullptr;

    PatchData& patch = object->data.patch;
    patch.vertex0 = vertices[0];
    patch.vertex1 = vertices[1];
    patch.vertex2 = vertices[2];

    // The rows of the transposed inverse of the edge matrix [e1; e2; n] are the vectors that
    // measure a point's weights along e1 and e2, and the unit normal itself.
    const Vector3 e1 = patch.vertex1 - patch.vertex0;
    const Vector3 e2 = patch.vertex2 - patch.vertex0;
    Vector3 n = cross(e1, e2);
    VecNorm(n);
    const double edges[9] = {e1.x, e1.y, e1.z, e2.x, e2.y, e2.z, n.x, n.y, n.z};
    double duals[9];
    invertMatrix(edges, duals);
    patch.dualU = {duals[0], duals[1], duals[2]};
    patch.dualV = {duals[3], duals[4], duals[5]};
    patch.faceNormal = {duals[6], duals[7], duals[8]};

    patch.normal0 = vertexNormal(face[1], n);
    patch.normal1 = vertexNormal(face[3], n);
    patch.normal2 = vertexNormal(face[5], n);

    setSlabExtents(*object, vertices, kEpsilon);
    addPrimitive(object);
    return object;
}

// The edges and corners belong to the patch: u = 0, v = 0 and u + v = 1 are hits.
int patchIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    const PatchData& patch = object.data.patch;
    hit.entering = 0;
    const double k = dot(patch.faceNormal, ray.direction);
    if (-kEpsilon < k && k < kEpsilon) return 0;
    const double t = dot(patch.faceNormal, patch.vertex0 - ray.origin) / k;
    if (t < kEpsilon) return 0;

    const Vector3 x = ray.origin + t * ray.direction - patch.vertex0;
    const double u = dot(patch.dualU, x);
    const double v = dot(patch.dualV, x);
    if (u < 0 || v < 0 || u + v > 1) return 0;

    hit.entering = 1;
    hit.distance = t;
    hit.object = &object;
    return 1;
}

// The weights are measured again from the point rather than handed over from the
// intersection: render threads test the same patch at once, and the record stays read-only.
Vector3 patchNormal(const ObjectRecord& object, const Vector3& point) {
    const PatchData& patch = object.data.patch;
    const Vector3 x = point - patch.vertex0;
    const double u = dot(patch.dualU, x);
    const double v = dot(patch.dualV, x);
    Vector3 normal = (1 - u - v) * patch.normal0 + u * patch.normal1 + v * patch.normal2;
    // Vertex normals that lie in the face's plane can cancel out; the face normal stands in.
    if (!(length(normal) > 0)) normal = patch.faceNormal;
    VecNorm(normal);
    return normal;
}

int patchPrint(const ObjectRecord& /*object*/) {
    return std::puts("patch");
}
