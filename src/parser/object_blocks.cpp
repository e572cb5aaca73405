#include <algorithm>
#include <utility>
#include <vector>

#include "model/globals.h"
#include "model/surface.h"
#include "parser/blocks.h"
#include "parser/lexer.h"
#include "primitives/cone.h"
#include "primitives/flat.h"
#include "primitives/patch.h"
#include "primitives/plane.h"
#include "primitives/polygon.h"
#include "primitives/ring.h"
#include "primitives/sphere.h"
#include "primitives/triangle.h"

namespace {

// Gives a freshly built primitive the current surface and counts it. A primitive that could
// not be allocated ends the parse: rendering a scene with objects silently missing is worse.
void finishObject(ObjectRecord* object, int& counter) {
    if (object == nullptr) yyerror(" memory allocation failed");
    setSurfaceAttrib(*object, currentSurface());
    ++counter;
}

Vector3 readVector(std::FILE* file) {
    Lire_Vecteur(file);
    return vect_tmp;
}

double readDecimal(std::FILE* file) {
    Lire_Decimal(file);
    return val_DBL;
}

bool isZero(Vector3 v) {
    return v.x == 0 && v.y == 0 && v.z == 0;
}

// What a disc or ring block reads.
struct RingKeys {
    Vector3 center{}, normal{};
    double radii[2] = {0, 0};  // the disc's radius; the ring's internal and external radius
    int centers = 0, normals = 0, radiusCounts[2] = {0, 0};
};

// Reads a disc block (one radius key) or a ring block (internal and external radius).
RingKeys readRingKeys(std::FILE* file, bool ring, const char* unknownMessage) {
    RingKeys keys;
    expectOpeningBrace(file);
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        int radius = -1;
        if (!ring && mot_cle == KW_RADIUS) radius = 0;
        if (ring && mot_cle == KW_INTERNAL_RADIUS) radius = 0;
        if (ring && mot_cle == KW_EXTERNAL_RADIUS) radius = 1;
        if (radius >= 0) {
            keys.radii[radius] = readDecimal(file);
            ++keys.radiusCounts[radius];
        } else if (mot_cle == KW_CENTER) {
            keys.center = readVector(file);
            ++keys.centers;
        } else if (mot_cle == KW_NORMAL) {
            keys.normal = readVector(file);
            ++keys.normals;
        } else {
            yyerror(unknownMessage);
        }
    }
    return keys;
}

// What a cone or cylinder block reads: the base and cap centres and their radii (a cylinder
// has one radius key for both).
struct ConeKeys {
    Vector3 base{}, cap{};
    double baseRadius = 0, capRadius = 0;
    int bases = 0, caps = 0, baseRadii = 0, capRadii = 0;
};

ConeKeys readConeKeys(std::FILE* file, bool cylinder, const char* unknownMessage) {
    ConeKeys keys;
    expectOpeningBrace(file);
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        if (mot_cle == KW_BASE) {
            keys.base = readVector(file);
            ++keys.bases;
        } else if (mot_cle == KW_CAP) {
            keys.cap = readVector(file);
            ++keys.caps;
        } else if (cylinder && mot_cle == KW_RADIUS) {
            keys.baseRadius = keys.capRadius = readDecimal(file);
            ++keys.baseRadii;
            ++keys.capRadii;
        } else if (!cylinder && mot_cle == KW_BASE_RADIUS) {
            keys.baseRadius = readDecimal(file);
            ++keys.baseRadii;
        } else if (!cylinder && mot_cle == KW_CAP_RADIUS) {
            keys.capRadius = readDecimal(file);
            ++keys.capRadii;
        } else {
            yyerror(unknownMessage);
        }
    }
    return keys;
}

// An axis needs two distinct ends: with none the surface has no direction to follow.
void checkConeAxis(const ConeKeys& keys, const char* message) {
    if (isZero(keys.cap - keys.base)) yyerror(message);
}

// Reads "vertex" keys into `vertices`, at most `capacity` of them; `tooMany` is reported at the
// key that would exceed it, before its vector is read.
void readVertex(std::FILE* file, std::vector<Vector3>& vertices, std::size_t capacity,
                const char* tooMany) {
    if (vertices.size() == capacity) yyerror(tooMany);
    // A triangle's or patch's vertices take one allocation, not three.
    constexpr std::size_t kFewVertices = 4;
    if (vertices.empty()) vertices.reserve(std::min(capacity, kFewVertices));
    vertices.push_back(readVector(file));
}

}  // namespace

void yy_sphere(std::FILE* file) {
    Vector3 center{};
    double radius = 0;
    int centers = 0, radii = 0;

    expectOpeningBrace(file);
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        switch (mot_cle) {
            case KW_CENTER:
                Lire_Vecteur(file);
                center = vect_tmp;
                ++centers;
                break;
            case KW_RADIUS:
                Lire_Decimal(file);
                if (val_DBL <= 0) yyerror(" sphere radius must be greater than 0");
                radius = val_DBL;
                ++radii;
                break;
            default:
                yyerror(" Unkown parameter in sphere structure");
        }
    }
    if (centers != 1 || radii != 1) yyerror(" error in sphere structure declaration");
    finishObject(makeSphere(center.x, center.y, center.z, radius), iNumSphere);
}

void yy_plane(std::FILE* file) {
    Vector3 normal{};
    double distance = 0;
    int normals = 0, distances = 0;

    expectOpeningBrace(file);
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        switch (mot_cle) {
            case KW_NORMAL:
                Lire_Vecteur(file);
                normal = vect_tmp;
                ++normals;
                break;
            case KW_DISTANCE:
                Lire_Decimal(file);
                distance = val_DBL;
                ++distances;
                break;
            default:
                yyerror(" Unkown parameter in plane structure");
        }
    }
    if (normals != 1 || distances != 1) yyerror(" error in plane structure declaration");
    if (dot(normal, normal) == 0) yyerror(" plane normal cannot be <0 0 0>");
    // The plane is seen from the side its normal points to; the primitive stores the
    // opposite orientation (see planeIntersect).
    finishObject(makePlane(-normal.x, -normal.y, -normal.z, -distance), iNumPlane);
}

void yy_disc(std::FILE* file) {
    const RingKeys keys = readRingKeys(file, false, " Unkown parameter in disc structure");
    if (keys.centers != 1 || keys.normals != 1 || keys.radiusCounts[0] != 1) {
        yyerror(" missing parameter(s) in disc structure");
    }
    if (keys.radii[0] <= 0) yyerror(" radius cannot be null or negative");
    if (isZero(keys.normal)) yyerror(" disc normal cannot be <0 0 0>");
    const Vector3 c = keys.center, n = keys.normal;
    finishObject(makeRing(c.x, c.y, c.z, n.x, n.y, n.z, 0, keys.radii[0]), iNumDisc);
}

void yy_ring(std::FILE* file) {
    const RingKeys keys = readRingKeys(file, true, " Unkown parameter in ring structure");
    if (keys.centers != 1 || keys.normals != 1 || keys.radiusCounts[0] != 1 ||
        keys.radiusCounts[1] != 1) {
        yyerror(" missing parameter(s) in ring structure");
    }
    double inner = keys.radii[0], outer = keys.radii[1];
    if (inner <= 0 || outer <= 0) {
        yyerror(" external and internal radius cannot be null or negative");
    }
    if (inner == outer) yyerror(" both radius are equal");
    if (inner > outer) std::swap(inner, outer);
    if (isZero(keys.normal)) yyerror(" ring normal cannot be <0 0 0>");
    const Vector3 c = keys.center, n = keys.normal;
    finishObject(makeRing(c.x, c.y, c.z, n.x, n.y, n.z, inner, outer), iNumRing);
}

void yy_cylindre(std::FILE* file) {
    const ConeKeys keys = readConeKeys(file, true, " Unkown parameter in cylinder structure");
    if (keys.bases != 1 || keys.caps != 1 || keys.baseRadii != 1) {
        yyerror(" error in cylinder structure declaration");
    }
    if (keys.baseRadius <= 0) yyerror(" radius cannot be null or negative");
    checkConeAxis(keys, " cylinder base and cap cannot be the same point");
    const Vector3 b = keys.base, c = keys.cap;
    finishObject(makeCone(b.x, b.y, b.z, keys.baseRadius, c.x, c.y, c.z, keys.capRadius),
                 iNumCylinder);
}

void yy_cone(std::FILE* file) {
    const ConeKeys keys = readConeKeys(file, false, " Unkown parameter in cone structure");
    if (keys.bases != 1 || keys.caps != 1 || keys.baseRadii != 1 || keys.capRadii != 1) {
        yyerror(" Error in cone structure");
    }
    if (keys.baseRadius == 0 && keys.capRadius == 0) {
        yyerror(" base radius and cap radius cannot be both null");
    }
    if (keys.baseRadius < 0 || keys.capRadius < 0) {
        yyerror(" base radius or cap radius cannot be negative");
    }
    checkConeAxis(keys, " cone base and cap cannot be the same point");
    const Vector3 b = keys.base, c = keys.cap;
    finishObject(makeCone(b.x, b.y, b.z, keys.baseRadius, c.x, c.y, c.z, keys.capRadius), iNumCone);
}

void yy_polygon(std::FILE* file) {
    expectOpeningBrace(file);
    Lire_Entier(file);
    if (val_INT < 4) yyerror(" valid number of vertices expected");
    // Vertices are stored as they come, so a count far beyond what the block holds costs
    // nothing until the vertices are really there.
    const auto count = static_cast<std::size_t>(val_INT);
    std::vector<Vector3> vertices;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        if (mot_cle != KW_VERTEX) yyerror(" Unkown parameter in polygon structure");
        readVertex(file, vertices, count, " Too many vertices in polygon structure");
    }
    if (vertices.size() < count) yyerror(" Too few vertices in polygon structure");
    if (!hasPlane(vertices)) yyerror(" polygon vertices do not span a plane");
    finishObject(makePolygon(std::move(vertices)), iNumPolygone);
}

void yy_triangle(std::FILE* file) {
    expectOpeningBrace(file);
    std::vector<Vector3> vertices;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        if (mot_cle != KW_VERTEX) yyerror(" Unkown parameter in triangle structure");
        readVertex(file, vertices, 3, " Too many vertices in triangle structure");
    }
    if (vertices.size() < 3) yyerror(" Too few vertices in triangle structure");
    if (!hasPlane(vertices)) yyerror(" triangle vertices do not span a plane");
    finishObject(makeTriangle(vertices.data()), iNumTriangle);
}

void yy_patch(std::FILE* file) {
    expectOpeningBrace(file);
    // The i-th vertex and the i-th normal belong together, in whatever order they come.
    std::vector<Vector3> vertices, normals;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        if (mot_cle == KW_VERTEX) {
            readVertex(file, vertices, 3, " Too many vertices in patch structure");
        } else if (mot_cle == KW_NORMAL) {
            readVertex(file, normals, 3, " Too many normals in patch structure");
        } else {
            yyerror(" Unkown parameter in patch structure");
        }
    }
    if (vertices.size() < 3) yyerror(" Too few vertices in patch structure");
    if (normals.size() < 3) yyerror(" Too few normals in patch structure");
    if (!hasPlane(vertices)) yyerror(" patch vertices do not span a plane");
    Vector3 face[6] = {vertices[0], normals[0], vertices[1], normals[1], vertices[2], normals[2]};
    finishObject(makePatch(face), iNumPatch);
}
