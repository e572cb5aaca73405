// Smooth vertex normals of a 3DS model, in the file's single precision.

#include <cmath>
#include <cstddef>
#include <vector>

#include "import3ds/model3ds.h"

namespace {

Point3f operator-(Point3f a, Point3f b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Point3f cross(Point3f a, Point3f b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

}  // namespace

void computeNormals(Model3DS& model) {
    for (Object3DS& object : model.objects) computeObjectNormals(object);
}

void computeObjectNormals(Object3DS& object) {
    const std::size_t vertexCount = object.verts.size();
    std::vector<Point3f> sum(vertexCount, Point3f{0, 0, 0});
    std::vector<int> shared(vertexCount, 0);

    // Each face adds its unnormalised normal, so larger faces weigh more. Visiting the
    // faces in order gives every vertex its sum in the same order as asking each vertex
    // for its faces would, at a cost linear in the faces.
    for (const Face3DS& face : object.faces) {
        const int* v = face.vertIndex;
        if (static_cast<std::size_t>(v[0]) >= vertexCount ||
            static_cast<std::size_t>(v[1]) >= vertexCount ||
            static_cast<std::size_t>(v[2]) >= vertexCount) {
            continue;  // the reader refuses such faces; a model built by hand may not
        }
        const Point3f p0 = object.verts[v[0]];
        const Point3f p1 = object.verts[v[1]];
        const Point3f p2 = object.verts[v[2]];
        // (P0 - P2) x (P2 - P1) is -(P1 - P0) x (P2 - P0); the division by the negated
        // count below turns it back.
        const Point3f normal = cross(p0 - p2, p2 - p1);
        for (int k = 0; k < 3; ++k) {
            // A face that names a vertex twice counts once for it.
            if ((k > 0 && v[k] == v[0]) || (k > 1 && v[k] == v[1])) continue;
            Point3f& s = sum[v[k]];
            s.x += normal.x;
            s.y += normal.y;
            s.z += normal.z;
            ++shared[v[k]];
        }
    }

    object.normals.assign(vertexCount, Point3f{0, 0, 0});
    for (std::size_t k = 0; k < vertexCount; ++k) {
        // A vertex of no face, or whose faces cancel out (or overflow single precision),
        // has no direction: it keeps the zero normal instead of 0 / 0.
        if (shared[k] == 0) continue;
        const float count = -static_cast<float>(shared[k]);
        const Point3f mean{sum[k].x / count, sum[k].y / count, sum[k].z / count};
        const float len = std::sqrt(mean.x * mean.x + mean.y * mean.y + mean.z * mean.z);
        if (!(len > 0) || !std::isfinite(len)) continue;
        object.normals[k] = {mean.x / len, mean.y / len, mean.z / len};
    }
}
