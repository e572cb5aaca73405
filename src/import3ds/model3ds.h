#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "model/large_pages.h"

// A 3DS model as the reader leaves it: meshes, materials, cameras and lights, with numbers
// kept in the file's single precision. The scene assembly turns it into renderer objects.

struct Point3f {
    float x, y, z;
};

struct TexCoord3DS {
    float u, v;
};

// One chunk being read: the header's id and length (which counts the 6-byte header too), and
// how much of it has been consumed, header included.
struct Chunk3DS {
    std::uint16_t id;
    std::uint32_t length;
    std::uint32_t bytesRead;
};

struct Face3DS {
    int vertIndex[3];   // into the object's verts
    int coordIndex[3];  // texture indices; the reader leaves them zero
};

// Names longer than this are cut: the file format itself allows no more than fits in 255
// bytes with the terminator.
constexpr std::size_t kMaxNameLength3DS = 254;

struct Object3DS {
    std::string name;
    int materialId = 0;  // index into Model3DS::materials; 0 when no face-material chunk names one
    bool hasMaterial = false;  // whether a face-material chunk names one of the model's
    bool hasTexture = false;
    // A model's meshes are read whole before any face is made: a million faces take tens of
    // megabytes here.
    LargePageVector<Point3f> verts;
    LargePageVector<Point3f> normals;  // one per vertex, filled by computeNormals
    LargePageVector<TexCoord3DS> texVerts;
    LargePageVector<Face3DS> faces;
};

struct Material3DS {
    std::string name;
    std::string textureFile;
    std::uint8_t colour[3] = {0, 0, 0};  // diffuse red, green, blue
};

struct Camera3DS {
    Point3f position{};
    Point3f target{};
    float bankAngle = 0;
    float lens = 0;  // focal length in millimetres
};

struct Light3DS {
    Point3f position{};
    Point3f target{};
    float hotspot = 0;
    float falloff = 0;
    std::uint8_t off = 0;
    std::uint8_t spot = 0;
    float colour[3] = {0, 0, 0};  // from the float colour chunk, else the byte one (over 255)
    float multiplier = 1;
    std::uint8_t colour24[3] = {0, 0, 0};  // from the first byte colour chunk
};

// Every record in file order; a light or camera is also a (mesh-less) named object.
struct Model3DS {
    std::vector<Material3DS> materials;
    std::vector<Object3DS> objects;
    std::vector<Camera3DS> cameras;
    std::vector<Light3DS> lights;
};

// The model of the run, filled by the 3DS scene assembly.
extern Model3DS g_3DModel;

// Replaces `model` with the 3DS file at `path`, computing the vertex normals when
// `withNormals` is 1. Returns 1 on success. A file that cannot be opened, is not a 3DS
// file, or is damaged (chunks that do not fit each other or the file, data running past its
// chunk, a face naming a vertex its mesh lacks) prints what is wrong, naming the file, leaves
// the model empty and returns 0.
int import3DS(Model3DS& model, const char* path, int withNormals);

// A smooth normal for every vertex of every object: the normalised sum of the unnormalised
// normals of the faces that use it, on the side of (P1 - P0) x (P2 - P0). A vertex that no
// face uses, or whose faces cancel out, gets the zero vector.
void computeNormals(Model3DS& model);

// The same for the vertices of one object.
void computeObjectNormals(Object3DS& object);
