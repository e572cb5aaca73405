#pragma once

#include "model/records.h"

// The flat region of the plane through `center` perpendicular to `normal` between two
// concentric circles; a disc has an inner radius of 0. The normal must not be zero.
ObjectRecord* makeRing(double cx, double cy, double cz, double nx, double ny, double nz,
                       double innerRadius, double outerRadius);

int ringIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
Vector3 ringNormal(const ObjectRecord& object, const Vector3& point);
int ringPrint(const ObjectRecord& object);
