#pragma once

#include "model/records.h"

// A flat triangle with one normal for its face. The vertices must span a plane.
ObjectRecord* makeTriangle(const Vector3 vertices[3]);

int triangleIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
Vector3 triangleNormal(const ObjectRecord& object, const Vector3& point);
int trianglePrint(const ObjectRecord& object);
