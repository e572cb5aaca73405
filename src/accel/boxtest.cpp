#include "accel/boxtest.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "primitives/primitive.h"

#if defined(__x86_64__)
#include <immintrin.h>
#endif

SlabRay::SlabRay(const Ray& ray) : origin{ray.origin.x, ray.origin.y, ray.origin.z} {
    const double d[3] = {ray.direction.x, ray.direction.y, ray.direction.z};
    // Nearly every ray: no component is zero, or small enough for its reciprocal to overflow.
    constexpr double kSmallestPlain = 1e-300;
    if (std::fabs(d[0]) >= kSmallestPlain && std::fabs(d[1]) >= kSmallestPlain &&
        std::fabs(d[2]) >= kSmallestPlain) {
        for (int i = 0; i < 3; ++i) {
            bounded[i] = true;
            inverse[i] = 1 / d[i];
        }
        anyBounded = allBounded = true;
        return;
    }
    for (int i = 0; i < 3; ++i) {
        bounded[i] = d[i] != 0;
        // A component so small that its reciprocal overflows stands for the largest finite
        // one, so that a box plane through the origin still gives 0 and not 0 times infinity.
        double reciprocal = bounded[i] ? 1 / d[i] : 0;
        if (reciprocal > std::numeric_limits<double>::max()) {
            reciprocal = std::numeric_limits<double>::max();
        } else if (reciprocal < -std::numeric_limits<double>::max()) {
            reciprocal = -std::numeric_limits<double>::max();
        }
        inverse[i] = reciprocal;
    }
    anyBounded = bounded[0] || bounded[1] || bounded[2];
    allBounded = bounded[0] && bounded[1] && bounded[2];
}

namespace {

// The children a node has, as bits.
unsigned childBits(const BoundNode& node) {
    return (1u << node.count()) - 1;
}

}  // namespace

unsigned boxTestOneLane(const BoundNode& node, const SlabRay& ray, double maxDistance,
                        double near[kNodeWidth]) {
    unsigned entered = 0;
    const int count = node.count();
    for (int k = 0; k < count; ++k) {
        double entry = -kUnbounded;
        double exit = maxDistance;
        for (int i = 0; i < 3; ++i) {
            if (!ray.bounded[i]) continue;
            const double t1 = (static_cast<double>(node.lo[i][k]) - ray.origin[i]) * ray.inverse[i];
            const double t2 = (static_cast<double>(node.hi[i][k]) - ray.origin[i]) * ray.inverse[i];
            // When t2 > t1 fails (equal, or NaN), t2 counts as the entry and t1 as the exit.
            const double planeExit = t2 > t1 ? t2 : t1;
            const double planeEntry = t1 < t2 ? t1 : t2;
            exit = planeExit < exit ? planeExit : exit;
            entry = planeEntry > entry ? planeEntry : entry;
        }
        near[k] = entry;
        if ((entry <= exit && exit >= kEpsilon) || !ray.anyBounded) entered |= 1u << k;
    }
    return entered;
}

#if defined(__x86_64__)

// The processor's min and max return their second operand when the comparison fails (equal
// values, or NaN), exactly as the conditional expressions of the one-lane test do. These
// tests take only rays that every axis bounds: they read no `bounded` flag.

unsigned boxTestTwoLanes(const BoundNode& node, const SlabRay& ray, double maxDistance,
                         double near[kNodeWidth]) {
    unsigned entered = 0;
    const int count = node.count();
    for (int first = 0; first < count; first += 2) {
        __m128d entry = _mm_set1_pd(-kUnbounded);
        __m128d exit = _mm_set1_pd(maxDistance);
        for (int i = 0; i < 3; ++i) {
            const auto pair = [](const float* boxes) {
                return _mm_cvtps_pd(
                    _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(boxes))));
            };
            const __m128d origin = _mm_set1_pd(ray.origin[i]);
            const __m128d inverse = _mm_set1_pd(ray.inverse[i]);
            const __m128d t1 = _mm_mul_pd(_mm_sub_pd(pair(&node.lo[i][first]), origin), inverse);
            const __m128d t2 = _mm_mul_pd(_mm_sub_pd(pair(&node.hi[i][first]), origin), inverse);
            exit = _mm_min_pd(_mm_max_pd(t2, t1), exit);
            entry = _mm_max_pd(_mm_min_pd(t1, t2), entry);
        }
        const __m128d inside =
            _mm_and_pd(_mm_cmple_pd(entry, exit), _mm_cmpge_pd(exit, _mm_set1_pd(kEpsilon)));
        _mm_storeu_pd(near + first, entry);
        entered |= static_cast<unsigned>(_mm_movemask_pd(inside)) << first;
    }
    return entered & childBits(node);
}

[[gnu::target("avx2")]] unsigned boxTestFourLanes(const BoundNode& node, const SlabRay& ray,
                                                  double maxDistance, double near[kNodeWidth]) {
    __m256d entry = _mm256_set1_pd(-kUnbounded);
    __m256d exit = _mm256_set1_pd(maxDistance);
    for (int i = 0; i < 3; ++i) {
        const __m256d origin = _mm256_broadcast_sd(&ray.origin[i]);
        const __m256d inverse = _mm256_broadcast_sd(&ray.inverse[i]);
        const __m256d lo = _mm256_cvtps_pd(_mm_load_ps(node.lo[i]));
        const __m256d hi = _mm256_cvtps_pd(_mm_load_ps(node.hi[i]));
        const __m256d t1 = _mm256_mul_pd(_mm256_sub_pd(lo, origin), inverse);
        const __m256d t2 = _mm256_mul_pd(_mm256_sub_pd(hi, origin), inverse);
        exit = _mm256_min_pd(_mm256_max_pd(t2, t1), exit);
        entry = _mm256_max_pd(_mm256_min_pd(t1, t2), entry);
    }
    const __m256d inside = _mm256_and_pd(_mm256_cmp_pd(entry, exit, _CMP_LE_OQ),
                                         _mm256_cmp_pd(exit, _mm256_set1_pd(kEpsilon), _CMP_GE_OQ));
    _mm256_storeu_pd(near, entry);
    // The slots after the last child hold null references: their lanes are dropped.
    const __m256i children = _mm256_load_si256(reinterpret_cast<const __m256i*>(node.child));
    const __m256d absent = _mm256_castsi256_pd(_mm256_cmpeq_epi64(children, _mm256_setzero_si256()));
    return static_cast<unsigned>(_mm256_movemask_pd(_mm256_andnot_pd(absent, inside)));
}

int widestBoxTestLanes() {
    return __builtin_cpu_supports("avx2") ? 4 : 2;
}

#else

unsigned boxTestTwoLanes(const BoundNode& node, const SlabRay& ray, double maxDistance,
                         double near[kNodeWidth]) {
    return boxTestOneLane(node, ray, maxDistance, near);
}

unsigned boxTestFourLanes(const BoundNode& node, const SlabRay& ray, double maxDistance,
                          double near[kNodeWidth]) {
    return boxTestOneLane(node, ray, maxDistance, near);
}

int widestBoxTestLanes() {
    return 1;
}

#endif

int supportedBoxTestLanes(int lanes) {
    lanes = std::min(lanes, widestBoxTestLanes());
    if (lanes >= 4) return 4;
    return lanes >= 2 ? 2 : 1;
}

BoxTest boxTestOfLanes(int lanes) {
    switch (supportedBoxTestLanes(lanes)) {
        case 4:
            return boxTestFourLanes;
        case 2:
            return boxTestTwoLanes;
        default:
            return boxTestOneLane;
    }
}
