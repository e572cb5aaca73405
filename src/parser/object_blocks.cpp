#include "model/globals.h"
#include "model/surface.h"
#include "parser/blocks.h"
#include "parser/lexer.h"
#include "primitives/plane.h"
#include "primitives/sphere.h"

namespace {

// Gives a freshly built primitive the current surface and counts it. A primitive that could
// not be allocated ends the parse: rendering a scene with objects silently missing is worse.
void finishObject(ObjectRecord* object, int& counter) {
    if (object == nullptr) yyerror(" memory allocation failed");
    setSurfaceAttrib(*object, currentSurface());
    ++counter;
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
