#pragma once

#include "model/records.h"

ObjectRecord* makeSphere(double cx, double cy, double cz, double radius);

int sphereIntersect(const ObjectRecord& object, const Ray& ray, HitRecord& hit);
Vector3 sphereNormal(const ObjectRecord& object, const Vector3& point);
int spherePrint(const ObjectRecord& object);
