// The mesh statement: a model file of any format the importer reads, placed among the scene's
// objects with the current surface.

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "import3ds/faces.h"
#include "import3ds/model3ds.h"
#include "importmodel/model_file.h"
#include "model/globals.h"
#include "model/surface.h"
#include "parser/blocks.h"
#include "parser/lexer.h"
#include "primitives/flat.h"
#include "primitives/triangle.h"

namespace {

// What a mesh block reads.
struct MeshKeys {
    std::string file;
    int files = 0;
    Vector3 scale{1, 1, 1};
    Vector3 rotate{0, 0, 0};  // degrees about x, then y, then z
    Vector3 translate{0, 0, 0};
    bool smooth = true;
    bool fileColours = false;  // materials "file": the model's diffuse colours
};

MeshKeys readMeshKeys(std::FILE* file) {
    MeshKeys keys;
    expectOpeningBrace(file);
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        switch (mot_cle) {
            case KW_FILE:
                Lire_Chaine(file);
                keys.file = strTemp;
                ++keys.files;
                break;
            case KW_SCALE:
                Lire_Facteur(file);
                if (vect_tmp.x == 0 || vect_tmp.y == 0 || vect_tmp.z == 0) {
                    yyerror(" mesh scale cannot be 0");
                }
                keys.scale = vect_tmp;
                break;
            case KW_ROTATE:
                Lire_Vecteur(file);
                keys.rotate = vect_tmp;
                break;
            case KW_TRANSLATE:
                Lire_Vecteur(file);
                keys.translate = vect_tmp;
                break;
            case KW_SMOOTH:
            case KW_FLAT:
                keys.smooth = mot_cle == KW_SMOOTH;
                break;
            case KW_MATERIALS:
                keys.fileColours = readChoice(file, {{"surface", 0}, {"file", 1}},
                                              " invalid materials source specified") == 1;
                break;
            default:
                yyerror(" Unkown parameter in mesh structure");
        }
    }
    if (keys.files != 1) yyerror(" error in mesh structure declaration");
    return keys;
}

// Turns v about x, then y, then z, by the angles in degrees.
Vector3 rotated(Vector3 v, const Vector3& degrees) {
    const double toRadians = std::numbers::pi / 180;
    const double ax = degrees.x * toRadians, ay = degrees.y * toRadians, az = degrees.z * toRadians;
    v = {v.x, v.y * std::cos(ax) - v.z * std::sin(ax), v.y * std::sin(ax) + v.z * std::cos(ax)};
    v = {v.x * std::cos(ay) + v.z * std::sin(ay), v.y, -v.x * std::sin(ay) + v.z * std::cos(ay)};
    return {v.x * std::cos(az) - v.y * std::sin(az), v.x * std::sin(az) + v.y * std::cos(az), v.z};
}

Point3f asStored(const Vector3& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}

// Scales, turns and moves every vertex; normals follow the inverse scale and the turn.
void place(std::vector<Object3DS>& objects, const MeshKeys& keys) {
    const Vector3& s = keys.scale;
    for (Object3DS& object : objects) {
        for (Point3f& p : object.verts) {
            const Vector3 scaled{p.x * s.x, p.y * s.y, p.z * s.z};
            p = asStored(rotated(scaled, keys.rotate) + keys.translate);
        }
        for (Point3f& n : object.normals) {
            n = asStored(rotated({n.x / s.x, n.y / s.y, n.z / s.z}, keys.rotate));
        }
    }
}

// The current surface, or with materials "file" that surface in the colour of the object's
// material (the surface's own colour when the model lacks it).
const Surface* surfaceFor(const Object3DS& object, const Model3DS& model, bool fileColours) {
    Surface surface = currentSurface();
    const auto id = static_cast<std::size_t>(object.materialId);
    if (fileColours && object.materialId >= 0 && id < model.materials.size()) {
        const std::uint8_t* c = model.materials[id].colour;
        surface.color = {c[0] / 255.0, c[1] / 255.0, c[2] / 255.0};
    }
    return shareSurface(surface);
}

// Plain triangles, one per face whose corners span a plane.
long addFlatFaces(const std::vector<Object3DS>& objects,
                  const std::vector<const Surface*>& surfaces) {
    long made = 0;
    for (std::size_t k = 0; k < objects.size(); ++k) {
        const Object3DS& object = objects[k];
        for (const Face3DS& face : object.faces) {
            Vector3 corners[3];
            for (int c = 0; c < 3; ++c) {
                const Point3f& p = object.verts[static_cast<std::size_t>(face.vertIndex[c])];
                corners[c] = {p.x, p.y, p.z};
            }
            if (!hasPlane(corners)) continue;
            ObjectRecord* triangle = makeTriangle(corners);
            if (triangle == nullptr) yyerror(" memory allocation failed");
            setSurfaceAttrib(*triangle, *surfaces[k]);
            ++made;
        }
    }
    return made;
}

}  // namespace

void yy_mesh(std::FILE* file) {
    const MeshKeys keys = readMeshKeys(file);
    Model3DS model;
    const std::string reason = importModelFile(besideScene(keys.file), model);
    if (!reason.empty()) yyerror(" mesh file " + keys.file + " could not be read: " + reason);

    place(model.objects, keys);
    std::vector<const Surface*> surfaces;
    for (const Object3DS& object : model.objects) {
        surfaces.push_back(surfaceFor(object, model, keys.fileColours));
    }
    const long faces = keys.smooth ? addMeshFaces(model.objects, surfaces)
                                   : addFlatFaces(model.objects, surfaces);
    if (faces == 0) yyerror(" mesh file " + keys.file + " has no faces");
    ++iNumMesh;
    iNumMeshFace += faces;
}
