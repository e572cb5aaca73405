#pragma once

#include "model/records.h"

// The open lateral surface between a base circle and a cap circle whose centres differ;
// a cylinder has two equal radii.
ObjectRecord* makeCone(double bx, double by, double bz, double baseRadius, double cx, double cy,
                       double cz, double capRadius);

int coneIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
Vector3 coneNormal(const ObjectRecord& object, const Vector3& point);
int conePrint(const ObjectRecord& object);
