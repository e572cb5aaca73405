#pragma once

#include <cstdint>
#include <vector>

#include "model/arena.h"
#include "model/large_pages.h"
#include "model/records.h"

// The corners of smooth triangles and their normals, shared by the faces around them.
struct PatchMesh {
    LargePageVector<Vector3> vertices;
    // Unit normals, one per vertex; zero where a vertex has no normal (a zero or undefined
    // one), where each face uses its own face normal instead.
    LargePageVector<Vector3> normals;

    // Appends a vertex and its normal, as given (of any length); returns the vertex's index.
    std::uint32_t add(const Vector3& vertex, const Vector3& normal);

  private:
    void makeRoom();
};

// A mesh for the faces of one model, kept until releasePatchMeshes.
PatchMesh& newPatchMesh();

// Releases every mesh, the scene's own included, once no patch points into them any more.
void releasePatchMeshes();

// A smoothly shaded triangle. `face` holds P0, N0, P1, N1, P2, N2: each vertex followed by its
// normal. The normals are oriented in place towards the side of (P1 - P0) x (P2 - P0). The
// vertices must span a plane. Its corners go to the scene's own mesh.
ObjectRecord* makePatch(Vector3 face[6]);

// A smoothly shaded triangle on three vertices of `mesh` whose normals, as the model gives
// them, are `normals`: each is turned towards the side of the face's winding. The vertices
// must span a plane.
ObjectRecord* makeMeshPatch(const PatchMesh& mesh, const std::uint32_t corner[3],
                            const Vector3 normals[3]);

// The same patch made in `arena` and not yet added to myObjectList (nor counted): the faces
// of a model are made on several threads, each in an arena of its own. Null when memory is
// exhausted.
ObjectRecord* newMeshPatch(RecordArena& arena, const PatchMesh& mesh, const std::uint32_t corner[3],
                           const Vector3 normals[3]);

// Turns each vertex normal of the face to the side its winding faces.
void checkPatch(Vector3 face[6]);

// The cofactor matrix of m over its determinant (the transpose of m's inverse); row order.
void invertMatrix(const double m[9], double result[9]);

// Corner k (0, 1 or 2) of the patch, and the unit normal it has there: the mesh's, turned to
// the side of the face's winding, or the face's own where the mesh has none.
const Vector3& patchVertex(const ObjectRecord& patch, int k);
Vector3 patchCornerNormal(const ObjectRecord& patch, int k);

int patchIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
Vector3 patchNormal(const ObjectRecord& object, const Vector3& point);
int patchPrint(const ObjectRecord& object);
SlabBox patchBounds(const ObjectRecord& object);
