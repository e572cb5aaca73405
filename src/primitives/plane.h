#pragma once

#include "model/records.h"

// The plane (a, b, c)·P = d, with (a, b, c) normalised and d kept as given.
ObjectRecord* makePlane(double a, double b, double c, double d);

int planeIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
Vector3 planeNormal(const ObjectRecord& object, const Vector3& point);
int planePrint(const ObjectRecord& object);
SlabBox planeBounds(const ObjectRecord& object);
