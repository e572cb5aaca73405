#include "model/vector.h"

void VecNorm(Vector3& v) {
    const double len = length(v);
    v.x /= len;
    v.y /= len;
    v.z /= len;
}
