#pragma once

#include "model/records.h"

// Finds the nearest primitive the ray meets closer than maxDistance, skipping `excluded`
// (may be null). Returns 1 and fills `hit` on a hit, 0 otherwise.
int intersect(const Ray& ray, double maxDistance, HitRecord& hit, const ObjectRecord* excluded);
