// Smooth triangles from the meshes of an imported model.

#include "import3ds/faces.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "model/arena.h"
#include "model/globals.h"
#include "model/out_of_memory.h"
#include "model/threads.h"
#include "primitives/flat.h"
#include "primitives/patch.h"

namespace {

Vector3 widen(Point3f p) {
    return {p.x, p.y, p.z};
}

// The patches of a run of faces, chained as myObjectList would hold them: the last made
// first.
struct PatchChain {
    ObjectRecord* first = nullptr;
    ObjectRecord* last = nullptr;
    int count = 0;
};

// Where an object's vertices went: the table and the index of the first.
struct PlacedVertices {
    const PatchMesh* mesh = nullptr;
    std::uint32_t first = 0;
};

// Appends the object's vertices to `mesh`, with the normals the model gives or computed for
// them, so the mesh shades smooth (the model's single-precision numbers widen to doubles
// exactly).
PlacedVertices placeVertices(Object3DS& object, PatchMesh& mesh) {
    // A model that gives its own normals keeps them; the others get the averaged ones.
    if (object.normals.size() != object.verts.size()) computeObjectNormals(object);
    const auto first = static_cast<std::uint32_t>(mesh.vertices.size());
    for (std::size_t v = 0; v < object.verts.size(); ++v) {
        mesh.add(widen(object.verts[v]), widen(object.normals[v]));
    }
    return {&mesh, first};
}

// A run of one object's faces, [begin, end) of its face list.
struct FaceRun {
    std::size_t object;
    std::size_t begin;
    std::size_t end;
};

// Faces in a run: enough to be worth taking, few enough that the threads end together.
constexpr std::size_t kFacesPerRun = 8192;

// One patch per face of the run, made in `arena`. A face whose corners span no plane is
// dropped: it has no normal and would leave the patch's hit test undefined.
PatchChain makeFaces(const Object3DS& object, PlacedVertices placed, FaceRun run,
                     const Surface* surface, RecordArena& arena) {
    const PatchMesh& mesh = *placed.mesh;
    PatchChain faces;
    for (std::size_t f = run.begin; f < run.end; ++f) {
        const Face3DS& face = object.faces[f];
        std::uint32_t corners[3];
        Vector3 normals[3];
        for (int k = 0; k < 3; ++k) {
            normals[k] = widen(object.normals[face.vertIndex[k]]);
            corners[k] = placed.first + static_cast<std::uint32_t>(face.vertIndex[k]);
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
    return faces;
}

// Which objects have their vertices placed. A thread about to make faces of an object waits
// until it is; when a placing fails, every thread waiting is let go, to end with the failure.
class Placing {
  public:
    explicit Placing(std::size_t objects) : placed_(objects) {}

    void finish(std::size_t object) {
        placed_[object].store(true, std::memory_order_release);
        placed_[object].notify_all();
    }

    void fail() {
        failed_ = true;
        for (std::size_t object = 0; object < placed_.size(); ++object) finish(object);
    }

    // Whether the object's vertices are placed, once they are; false when a placing failed.
    bool wait(std::size_t object) const {
        placed_[object].wait(false, std::memory_order_acquire);
        return !failed_;
    }

  private:
    std::vector<std::atomic<bool>> placed_;
    std::atomic<bool> failed_{false};
};

std::vector<FaceRun> faceRuns(const std::vector<Object3DS>& objects) {
    std::vector<FaceRun> runs;
    for (std::size_t k = 0; k < objects.size(); ++k) {
        const std::size_t faces = objects[k].faces.size();
        for (std::size_t begin = 0; begin < faces; begin += kFacesPerRun) {
            runs.push_back({k, begin, std::min(begin + kFacesPerRun, faces)});
        }
    }
    return runs;
}

}  // namespace

// The faces are made by as many threads as the render will use, each with an arena and a
// vertex table of its own. Each thread takes the next object left and places its vertices;
// when none is left, it takes the next run of faces left, of any object, waiting if it must
// for that object's vertices. A table has room for the whole model from the start: the room
// no vertex reaches costs no memory, and a table that never grows is never copied. Which
// table a face's corners are in does not change them. The runs' chains then join the scene's
// list in model order, so the list is the same however many threads made it. An object's
// arrays go once its last run is made, so that a large model never holds all its meshes and
// all its patches at once.
long addMeshFaces(std::vector<Object3DS>& objects, const std::vector<const Surface*>& surfaces) {
    std::size_t vertices = 0;
    for (const Object3DS& object : objects) vertices += object.verts.size();
    if (vertices > std::numeric_limits<std::uint32_t>::max()) outOfMemory();

    const int threads = loadThreads();
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

    const std::vector<FaceRun> runs = faceRuns(objects);
    std::vector<std::atomic<std::size_t>> runsLeft(objects.size());
    for (const FaceRun& run : runs) ++runsLeft[run.object];
    std::vector<PlacedVertices> placed(objects.size());
    Placing placing(objects.size());
    std::vector<PatchChain> faces(runs.size());
    std::atomic<std::size_t> nextObject{0};
    std::atomic<std::size_t> nextRun{0};
    onThreads(threads, [&](int thread) {
        for (std::size_t k = nextObject++; k < objects.size(); k = nextObject++) {
            try {
                placed[k] = placeVertices(objects[k], *meshes[thread]);
            } catch (...) {
                placing.fail();
                throw;
            }
            if (runsLeft[k] == 0) objects[k] = Object3DS{};
            placing.finish(k);
        }
        for (std::size_t r = nextRun++; r < runs.size(); r = nextRun++) {
            const std::size_t k = runs[r].object;
            if (!placing.wait(k)) return;
            faces[r] = makeFaces(objects[k], placed[k], runs[r], surfaces[k], arenas[thread]);
            if (--runsLeft[k] == 0) objects[k] = Object3DS{};
        }
    });

    long made = 0;
    for (const PatchChain& run : faces) {
        if (run.count == 0) continue;
        run.last->next = myObjectList;
        myObjectList = run.first;
        nPrims += run.count;
        made += run.count;
    }
    for (RecordArena& arena : arenas) myRecords.adopt(std::move(arena));
    return made;
}
