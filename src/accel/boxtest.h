#pragma once

#include "accel/hierarchy.h"
#include "model/records.h"

// The slab test of the traversal: which children of a node a ray enters, and where. The test
// comes in three widths: one box at a time, two at a time (the vectors every x86-64 processor
// has) and four at a time (AVX2). Each lane of the wider ones runs exactly the operations of
// the one-box test on one box, in the same order, so all three give the same bits.

// The ray as the box tests read it: its origin and the reciprocal of its direction, so that
// a box test multiplies where it would divide.
struct SlabRay {
    explicit SlabRay(const Ray& ray);

    double origin[3];
    double inverse[3];
    // An axis the ray runs parallel to (a direction component of exactly 0) sets no bound,
    // even when the origin lies outside a box's planes on it: the other axes and the
    // primitive test decide.
    bool bounded[3];
    bool anyBounded;
    bool allBounded;  // as nearly every ray: only such rays go to the two- and four-lane tests
};

// Bit k of the result is set when the ray enters child k's box before maxDistance; its entry
// distance is then near[k] (negative when the ray starts inside the box). Per axis, the
// distances to the box's two planes: the nearer raises the entry distance, which starts at
// -1e10, and the farther lowers the exit distance, which starts at maxDistance. A box is
// missed when the entry lies beyond the exit, and passed when the exit lies within 0.001 of
// the origin: no bounded primitive accepts a hit that near. A ray with no direction at all is
// bounded by nothing and enters every box.
using BoxTest = unsigned (*)(const BoundNode& node, const SlabRay& ray, double maxDistance,
                             double near[kNodeWidth]);

unsigned boxTestOneLane(const BoundNode& node, const SlabRay& ray, double maxDistance,
                        double near[kNodeWidth]);
// Only for rays that every axis bounds (SlabRay::allBounded).
unsigned boxTestTwoLanes(const BoundNode& node, const SlabRay& ray, double maxDistance,
                         double near[kNodeWidth]);
// Only for such rays, and for processors with AVX2.
unsigned boxTestFourLanes(const BoundNode& node, const SlabRay& ray, double maxDistance,
                          double near[kNodeWidth]);

// The widest test the processor has: 4 or 2 lanes (1 where neither vector width exists).
int widestBoxTestLanes();

// The width nearest `lanes` that the processor has, no wider: 1, 2 or 4.
int supportedBoxTestLanes(int lanes);

// The test of the given width, or of the widest the processor has when it lacks that one.
BoxTest boxTestOfLanes(int lanes);
