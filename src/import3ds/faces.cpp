// Smooth triangles from the meshes of an imported model.

#include "import3ds/faces.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <future>
#include <limits>
#include <new>
#include <vector>

#include "model/arena.h"
#include "model/globals.h"
#include "model/out_of_memory.h"
#include "primitives/flat.h"
#include "primitives/patch.h"

namespace {

Vector3 widen(Point3f p) {
    return {p.x, p.y, p.z};
}

// The patches of one 3DS mesh, chained as myObjectList would hold them: the last made first.
struct MeshFaces {
    ObjectRecord* first = nullptr;
    ObjectRecord* last = nullptr;
    int count = 0;
};

// One patch per face of the model's mesh, made in `arena`, on the vertices it appends to
// `mesh` with the normals the model gives or computed for them, so the mesh shades smooth (the
// model's single-precision numbers widen to doubles exactly). A face whose corners span no
// plane is dropped: it has no normal and would leave the patch's hit test undefined. The
// model's mesh is released as soon as its patches exist, so that a large model never holds
// all its meshes and all its patches at once.
MeshFaces makeFaces(Object3DS& object, PatchMesh& mesh, const Surface* surface,
                    RecordArena& arena) {
    // A model that gives its own normals keeps them; the others get the averaged ones.
    if (object.normals.size() != object.verts.size()) computeObjectNormals(object);
    const auto first = static_cast<std::uint32_t>(mesh.vertices.size());
    for (std::size_t v = 0; v < object.verts.size(); ++v) {
        mesh.add(widen(object.verts[v]), widen(object.normals[v]));
    }

    MeshFaces faces;
    for (const Face3DS& face : object.faces) {
        std::uint32_t corners[3];
        Vector3 normals[3];
        for (int k = 0; k < 3; ++k) {
            normals[k] = widen(object.normals[face.vertIndex[k]]);
            corners[k] = first + static_cast<std::uint32_t>(face.vertIndex[k]);
        }
        const Vector3 vertices[3] = {mesh.vertices[corners[0]], mesh.vertices[corners[1]],
                                     mesh.vertices[corners[2]]};
        if (!hasPlane(vertices)) continue;
        ObjectRecord* patch = newMeshPatch(arena, mesh, corners, normals);
        if (patch == nullptr) continue;
        patch->surface = surface;
        patch->next = faces.first;
        faces.first = patch;
        if (faces.last == nullptr) faces.last = patch;
        ++faces.count;
    }
    object = Object3DS{};
    return faces;
}

}  // namespace

// The faces are made by as many threads as the render will use, each taking the next mesh
// left and making its patches in an arena and on a vertex table of its own. A table has room
// for the whole model from the start: the room no vertex reaches costs no memory, and a
// table that never grows is never copied. Which table a face's corners are in does not
// change them. The chains then join the scene's list in model order, so the list is the same
// however many threads made it.
long addMeshFaces(std::vector<Object3DS>& objects, const std::vector<const Surface*>& surfaces) {
    std::size_t vertices = 0;
    for (const Object3DS& object : objects) vertices += object.verts.size();
    if (vertices > std::numeric_limits<std::uint32_t>::max()) outOfMemory();

    std::vector<MeshFaces> faces(objects.size());
    const int threads = multiThreaded ? std::max(numThreads, 1) : 1;
    std::vector<RecordArena> arenas(static_cast<std::size_t>(threads));
    std::vector<PatchMesh*> meshes;
    try {
        for (int t = 0; t < threads; ++t) {
            PatchMesh& mesh = newPatchMesh();
            mesh.vertices.reserve(vertices);
            mesh.normals.reserve(vertices);
            meshes.push_back(&mesh);
        }
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
    std::atomic<std::size_t> nextMesh{0};
    const auto work = [&](int thread) {
        PatchMesh& mesh = *meshes[thread];
        for (std::size_t k = nextMesh++; k < objects.size(); k = nextMesh++) {
            faces[k] = makeFaces(objects[k], mesh, surfaces[k], arenas[thread]);
        }
    };
    std::vector<std::future<void>> helpers;
    for (int t = 1; t < threads; ++t) helpers.push_back(std::async(std::launch::async, work, t));
    work(0);
    for (std::future<void>& helper : helpers) helper.get();

    long made = 0;
    for (const MeshFaces& mesh : faces) {
        if (mesh.count == 0) continue;
        mesh.last->next = myObjectList;
        myObjectList = mesh.first;
        nPrims += mesh.count;
        made += mesh.count;
    }
    for (RecordArena& arena : arenas) myRecords.adopt(std::move(arena));
    return made;
}
