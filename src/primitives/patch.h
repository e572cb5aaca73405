#pragma once

#include "model/records.h"

// A smoothly shaded triangle. `face` holds P0, N0, P1, N1, P2, N2: each vertex followed by its
// normal. The normals are oriented in place towards the side of (P1 - P0) x (P2 - P0). The
// vertices must span a plane.
ObjectRecord* makePatch(Vector3 face[6]);

// Turns each vertex normal of the face to the side its winding faces.
void checkPatch(Vector3 face[6]);

// The cofactor matrix of m over its determinant (the transpose of m's inverse); row order.
void invertMatrix(const double m[9], double result[9]);

int patchIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
Vector3 patchNormal(const ObjectRecord& object, const Vector3& point);
int patchPrint(const ObjectRecord& object);
