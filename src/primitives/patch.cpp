#include "primitives/patch.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <deque>

#include "model/globals.h"
#include "primitives/flat.h"
#include "primitives/primitive.h"

namespace {

// Meshes never move once made: the faces point at them.
std::deque<PatchMesh> meshes;

// The mesh of the smooth triangles that scene files give one by one; made with the first of
// them, so that a scene loaded after releasePatchMeshes starts a mesh of its own.
PatchMesh* sceneMeshMade = nullptr;

PatchMesh& sceneMesh() {
    if (sceneMeshMade == nullptr) sceneMeshMade = &newPatchMesh();
    return *sceneMeshMade;
}

// The side the winding of P0, P1, P2 faces: (P0 - P1) x (P0 - P2) has the direction of
// (P1 - P0) x (P2 - P0).
Vector3 windingSide(const Vector3& p0, const Vector3& p1, const Vector3& p2) {
    return cross(p0 - p1, p0 - p2);
}

// The unit normal of the plane of the face, from its edges.
Vector3 edgeNormal(const Vector3& p0, const Vector3& p1, const Vector3& p2) {
    Vector3 n = cross(p1 - p0, p2 - p0);
    VecNorm(n);
    return n;
}

const Vector3& corner(const PatchData& patch, int k) {
    return patch.mesh->vertices[patch.corner[k]];
}

// Corner k's unit normal as the face uses it: the mesh's, turned to the winding's side, or the
// face's own normal where the mesh has none.
Vector3 cornerNormal(const PatchData& patch, int k) {
    const Vector3& normal = patch.mesh->normals[patch.corner[k]];
    if (normal.x == 0 && normal.y == 0 && normal.z == 0) {
        return edgeNormal(corner(patch, 0), corner(patch, 1), corner(patch, 2));
    }
    return (patch.turned >> k) & 1 ? -normal : normal;
}

}  // namespace

// A mesh that has grown past a few thousand vertices is likely to grow on: it goes straight
// to a large page's worth, faulted in whole, rather than through the doubling steps below
// that, each of which would be faulted in page by page and copied.
void PatchMesh::makeRoom() {
    constexpr std::size_t kLargeStep = kLargePageSize / sizeof(Vector3);
    const std::size_t size = vertices.size();
    const std::size_t wanted =
        size >= kLargeStep / 16 ? std::max(2 * size, kLargeStep) : 2 * size + 16;
    vertices.reserve(wanted);
    normals.reserve(wanted);
}

std::uint32_t PatchMesh::add(const Vector3& vertex, const Vector3& normal) {
    if (vertices.size() == vertices.capacity()) makeRoom();
    vertices.push_back(vertex);
    // A normal without a length, which normalising would turn into NaN, is kept as zero (the
    // 3DS import leaves isolated vertices a zero normal). Turning a normal around after
    // normalising it gives the same bits as normalising it turned.
    Vector3 unit = normal;
    if (length(unit) > 0) {
        VecNorm(unit);
    } else {
        unit = {0, 0, 0};
    }
    normals.push_back(unit);
    return static_cast<std::uint32_t>(vertices.size() - 1);
}

PatchMesh& newPatchMesh() {
    return meshes.emplace_back();
}

void releasePatchMeshes() {
    meshes.clear();
    sceneMeshMade = nullptr;
}

// A normal in the face's plane (c·N = 0) is negated too; it stays in the plane.
void checkPatch(Vector3 face[6]) {
    const Vector3 c = windingSide(face[0], face[2], face[4]);
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
    // The scene's mesh keeps each normal as given; turning it is the face's business.
    PatchMesh& mesh = sceneMesh();
    std::uint32_t corners[3];
    Vector3 normals[3];
    for (int k = 0; k < 3; ++k) {
        corners[k] = mesh.add(face[2 * k], face[2 * k + 1]);
        normals[k] = face[2 * k + 1];
    }
    ObjectRecord* patch = makeMeshPatch(mesh, corners, normals);
    checkPatch(face);
    return patch;
}

ObjectRecord* makeMeshPatch(const PatchMesh& mesh, const std::uint32_t corner[3],
                            const Vector3 normals[3]) {
    ObjectRecord* patch = newMeshPatch(myRecords, mesh, corner, normals);
    if (patch != nullptr) addPrimitive(patch);
    return patch;
}

ObjectRecord* newMeshPatch(RecordArena& arena, const PatchMesh& mesh, const std::uint32_t corner[3],
                           const Vector3 normals[3]) {
    const Vector3 vertices[3] = {mesh.vertices[corner[0]], mesh.vertices[corner[1]],
                                 mesh.vertices[corner[2]]};
    assert(hasPlane(vertices) &&
           "the scene parser and the 3DS import refuse faces without a plane");
    Shape<PatchData>* object = newPrimitive<PatchData>(KIND_PATCH, patchIntersect, patchNormal,
                                                       patchPrint, patchBounds, arena);
    if (object == nullptr) return nullptr;

    PatchData& patch = object->data;
    patch.mesh = &mesh;
    const Vector3 side = windingSide(vertices[0], vertices[1], vertices[2]);
    for (int k = 0; k < 3; ++k) {
        patch.corner[k] = corner[k];
        if (dot(side, normals[k]) <= 0) patch.turned |= 1 << k;
    }

    // The rows of the transposed inverse of the edge matrix [e1; e2; n] are the vectors that
    // measure a point's weights along e1 and e2, and the unit normal itself.
    const Vector3 e1 = vertices[1] - vertices[0];
    const Vector3 e2 = vertices[2] - vertices[0];
    const Vector3 n = edgeNormal(vertices[0], vertices[1], vertices[2]);
    const double edges[9] = {e1.x, e1.y, e1.z, e2.x, e2.y, e2.z, n.x, n.y, n.z};
    double duals[9];
    invertMatrix(edges, duals);
    patch.dualU = {duals[0], duals[1], duals[2]};
    patch.dualV = {duals[3], duals[4], duals[5]};
    patch.faceNormal = {duals[6], duals[7], duals[8]};
    return object;
}

// The edges and corners belong to the patch: u = 0, v = 0 and u + v = 1 are hits.
int patchIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit) {
    const PatchData& patch = dataOf<PatchData>(object);
    hit.entering = 0;
    const double k = dot(patch.faceNormal, ray.direction);
    if (-kEpsilon < k && k < kEpsilon) return 0;
    const Vector3& vertex0 = corner(patch, 0);
    const double t = dot(patch.faceNormal, vertex0 - ray.origin) / k;
    if (t < kEpsilon) return 0;

    const Vector3 x = ray.origin + t * ray.direction - vertex0;
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
    const PatchData& patch = dataOf<PatchData>(object);
    const Vector3 x = point - corner(patch, 0);
    const double u = dot(patch.dualU, x);
    const double v = dot(patch.dualV, x);
    Vector3 normal = (1 - u - v) * cornerNormal(patch, 0) + u * cornerNormal(patch, 1) +
                     v * cornerNormal(patch, 2);
    // Vertex normals that lie in the face's plane can cancel out; the face normal stands in.
    if (!(length(normal) > 0)) normal = patch.faceNormal;
    VecNorm(normal);
    return normal;
}

int patchPrint(const ObjectRecord& /*object*/) {
    return std::puts("patch");
}

const Vector3& patchVertex(const ObjectRecord& patch, int k) {
    return corner(dataOf<PatchData>(patch), k);
}

Vector3 patchCornerNormal(const ObjectRecord& patch, int k) {
    return cornerNormal(dataOf<PatchData>(patch), k);
}

// The corners' extents, widened by the tolerance: a face in a coordinate plane would
// otherwise have slabs of no thickness. Written out rather than through slabExtents: the
// hierarchy builder asks for them several times per face, and a model has a million faces.
SlabBox patchBounds(const ObjectRecord& object) {
    const PatchData& patch = dataOf<PatchData>(object);
    const Vector3& p0 = corner(patch, 0);
    const Vector3& p1 = corner(patch, 1);
    const Vector3& p2 = corner(patch, 2);
    SlabBox box;
    for (int i = 0; i < 3; ++i) {
        const double d0 = dot(p0, Slab[i]);
        const double d1 = dot(p1, Slab[i]);
        const double d2 = dot(p2, Slab[i]);
        box.slabMin[i] = std::min(std::min(std::min(kUnbounded, d0), d1), d2) - kEpsilon;
        box.slabMax[i] = std::max(std::max(std::max(-kUnbounded, d0), d1), d2) + kEpsilon;
    }
    return box;
}
