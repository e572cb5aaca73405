#pragma once

#include <cmath>

// A point, a direction or a normal.
struct Vector3 {
    double x, y, z;
};

constexpr Vector3 operator+(Vector3 a, Vector3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
constexpr Vector3 operator-(Vector3 a, Vector3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
constexpr Vector3 operator-(Vector3 a) {
    return {-a.x, -a.y, -a.z};
}
constexpr Vector3 operator*(Vector3 a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
constexpr Vector3 operator*(double s, Vector3 a) {
    return a * s;
}

constexpr double dot(Vector3 a, Vector3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

constexpr Vector3 cross(Vector3 a, Vector3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

inline double length(Vector3 v) {
    return std::sqrt(dot(v, v));
}

// Scales v to unit length in place. A zero vector is the caller's fault: every caller
// passes a direction that the scene checks or the geometry guarantees to be non-zero.
// Divides by the length rather than multiplying by its reciprocal, which would round
// differently. Inline: every ray and every shaded point normalises something.
inline void VecNorm(Vector3& v) {
    const double len = length(v);
    v.x /= len;
    v.y /= len;
    v.z /= len;
}

// Scales a non-zero v to unit length in place and returns the length it had. Dividing by the
// largest component first keeps the squared length from underflowing or overflowing, so a
// vector as short as 1e-200 or as long as 1e200 still comes out unit.
double normalizeScaled(Vector3& v);
