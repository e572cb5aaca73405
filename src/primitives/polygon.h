#pragma once

#include <vector>

#include "model/records.h"

// A flat polygon through its vertices in order. The vertices must span a plane
// (see hasPlane in primitives/flat.h).
ObjectRecord* makePolygon(std::vector<Vector3> vertices);

int polygonIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
Vector3 polygonNormal(const ObjectRecord& object, const Vector3& point);
int polygonPrint(const ObjectRecord& object);
