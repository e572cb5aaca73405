#pragma once

#include <optional>

#include "import3ds/model3ds.h"
#include "model/records.h"

// Where a model lies and how much of a picture it fills, for models that bring no camera.

// The box around every vertex that a face uses: exporters leave stray vertices far away in
// some files. Coordinates that are not finite are left out; empty when no vertex is left.
struct ModelBox {
    Vector3 low{0, 0, 0};
    Vector3 high{0, 0, 0};
    bool empty = true;

    void add(const Point3f& p);
};
ModelBox modelBox(const Model3DS& model);

// The camera position that looks at the box's centre from `direction` (pointing from the
// camera towards the model) and sees the box's whole bounding sphere: its distance is the
// sphere's radius over the sine of the narrower half-angle of a view that is `fovH` wide
// (half-angle, radians) and `ratio` times as wide as high. None for an empty or flat-to-a-
// point box, which no distance frames.
std::optional<Vector3> framingPosition(const ModelBox& box, Vector3 direction, double fovH,
                                       double ratio);

// The share of the picture (0 to 1) that the model's faces cover, seen by `camera` through a
// flat projection, sampled at the centres of a 160 x 120 grid, and whether any face lies in
// the view at all (one smaller than a cell may cover no centre). The count stops once the
// share reaches `enough`, and gives up (none) when the faces overlap so much that counting
// would take long.
struct Coverage {
    double share = 0;
    bool inView = false;
};
std::optional<Coverage> pictureCoverage(const Model3DS& model, const ViewPoint& camera,
                                        double enough);
