#include "model/vector.h"

#include <algorithm>

double normalizeScaled(Vector3& v) {
    const double largest = std::max({std::fabs(v.x), std::fabs(v.y), std::fabs(v.z)});
    v = v * (1 / largest);
    const double scaledLength = length(v);
    VecNorm(v);
    return largest * scaledLength;
}
