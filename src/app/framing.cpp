#include "app/framing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

namespace {

constexpr int kGridWidth = 160;
constexpr int kGridHeight = 120;
// Cells visited before the count gives up: many large faces over one another would otherwise
// cost seconds, for a figure that is only a hint.
constexpr long kMostCellVisits = 1L << 25;
// Corners closer to the camera's plane than this are cut off: nothing behind it is seen.
constexpr double kNearDepth = 1e-9;

bool isFinite(const Point3f& p) {
    return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

Vector3 unit(Vector3 v) {
    VecNorm(v);
    return v;
}

// A point in the camera's axes: across to the left, up, and in depth along the view.
struct CameraPoint {
    double left, up, depth;
};

CameraPoint between(const CameraPoint& p, const CameraPoint& q, double t) {
    return {p.left + t * (q.left - p.left), p.up + t * (q.up - p.up),
            p.depth + t * (q.depth - p.depth)};
}

// The axes the renderer's camera frame makes from the same position, look-at point and up
// hint, with the tangents of the half-angles, and the grid point a camera point falls on.
class Projection {
  public:
    explicit Projection(const ViewPoint& camera)
        : position_(camera.position),
          view_(unit(camera.lookAt - camera.position)),
          left_(-unit(cross(camera.up, view_))),
          up_(unit(cross(left_, view_))),
          tanH_(std::tan(camera.fovH)),
          tanV_(std::tan(camera.fovH / camera.ratio)) {}

    CameraPoint toCamera(const Point3f& p) const {
        const Vector3 offset = Vector3{p.x, p.y, p.z} - position_;
        return {dot(offset, left_), dot(offset, up_), dot(offset, view_)};
    }

    // Inverts the mapping of a picture point to its ray direction.
    std::array<double, 2> toGrid(const CameraPoint& p) const {
        return {(p.left / p.depth / tanH_ + 1) * kGridWidth / 2,
                (1 - p.up / p.depth / tanV_) * kGridHeight / 2};
    }

  private:
    Vector3 position_, view_, left_, up_;
    double tanH_, tanV_;
};

// The part of a triangle in front of the camera: 0, 3 or 4 corners.
int clipInFront(const std::array<CameraPoint, 3>& corners, std::array<CameraPoint, 4>& out) {
    int count = 0;
    for (int i = 0; i < 3; ++i) {
        const CameraPoint& p = corners[i];
        const CameraPoint& q = corners[(i + 1) % 3];
        const bool pIn = p.depth >= kNearDepth;
        if (pIn) out[count++] = p;
        if (pIn != (q.depth >= kNearDepth)) {
            out[count++] = between(p, q, (kNearDepth - p.depth) / (q.depth - p.depth));
        }
    }
    return count;
}

// Which grid cells have their centre inside some face, filled a row span at a time.
class CoverageGrid {
  public:
    using Corner = std::array<double, 2>;

    // Marks the cells of a convex polygon; false once the visits allowed are spent.
    bool cover(const std::array<Corner, 4>& corners, int count) {
        double top = std::numeric_limits<double>::infinity();
        double bottom = -top;
        for (int i = 0; i < count; ++i) {
            top = std::min(top, corners[i][1]);
            bottom = std::max(bottom, corners[i][1]);
        }
        if (!std::isfinite(top) || !std::isfinite(bottom)) return true;
        inView_ = inView_ || overlapsGrid(corners, count);
        const int lastRow = lastCell(bottom, kGridHeight);
        for (int row = firstCell(top, kGridHeight); row <= lastRow; ++row) {
            const auto [from, to] = spanAt(corners, count, row + 0.5);
            if (from <= to && !fillRow(row, from, to)) return false;
        }
        return true;
    }

    double share() const { return static_cast<double>(covered_) / (kGridWidth * kGridHeight); }
    // Whether some face lies in the view, if only between the cells' centres.
    bool inView() const { return inView_; }

  private:
    // Where the row through height y enters and leaves the polygon; from > to when it misses.
    static std::pair<double, double> spanAt(const std::array<Corner, 4>& corners, int count,
                                            double y) {
        double from = std::numeric_limits<double>::infinity();
        double to = -from;
        const auto reach = [&](double x) {
            from = std::min(from, x);
            to = std::max(to, x);
        };
        for (int i = 0; i < count; ++i) {
            const Corner& p = corners[i];
            const Corner& q = corners[(i + 1) % count];
            if ((y < p[1] && y < q[1]) || (y > p[1] && y > q[1])) continue;
            if (p[1] == q[1]) {  // an edge along the row: both its ends
                reach(p[0]);
                reach(q[0]);
            } else {
                reach(p[0] + (y - p[1]) * (q[0] - p[0]) / (q[1] - p[1]));
            }
        }
        return {from, to};
    }

    // Marks the cells of `row` whose centres lie from `from` to `to`; false once the visits
    // allowed are spent.
    bool fillRow(int row, double from, double to) {
        const int first = firstCell(from, kGridWidth);
        const int last = lastCell(to, kGridWidth);
        for (int column = first; column <= last; ++column) {
            unsigned char& cell = cells_[static_cast<std::size_t>(row * kGridWidth + column)];
            covered_ += cell == 0;
            cell = 1;
        }
        visits_ += std::max(0, last - first + 1);
        return visits_ <= kMostCellVisits;
    }

    static bool overlapsGrid(const std::array<Corner, 4>& corners, int count) {
        double left = corners[0][0], right = left, top = corners[0][1], bottom = top;
        for (int i = 1; i < count; ++i) {
            left = std::min(left, corners[i][0]);
            right = std::max(right, corners[i][0]);
            top = std::min(top, corners[i][1]);
            bottom = std::max(bottom, corners[i][1]);
        }
        return right > 0 && left < kGridWidth && bottom > 0 && top < kGridHeight;
    }

    // The first and last cells whose centres (i + 0.5) lie at or after `from`, at or before
    // `to`, held to the grid (clamped as doubles: a corner may lie far outside it).
    static int firstCell(double from, int cells) {
        return static_cast<int>(std::clamp(std::ceil(from - 0.5), 0.0, static_cast<double>(cells)));
    }
    static int lastCell(double to, int cells) {
        return static_cast<int>(
            std::clamp(std::floor(to - 0.5), -1.0, static_cast<double>(cells - 1)));
    }

    std::vector<unsigned char> cells_ =
        std::vector<unsigned char>(static_cast<std::size_t>(kGridWidth * kGridHeight));
    long covered_ = 0;
    long visits_ = 0;
    bool inView_ = false;
};

}  // namespace

void ModelBox::add(const Point3f& p) {
    if (!isFinite(p)) return;
    const Vector3 v{p.x, p.y, p.z};
    if (empty) {
        low = high = v;
        empty = false;
        return;
    }
    low = {std::min(low.x, v.x), std::min(low.y, v.y), std::min(low.z, v.z)};
    high = {std::max(high.x, v.x), std::max(high.y, v.y), std::max(high.z, v.z)};
}

ModelBox modelBox(const Model3DS& model) {
    ModelBox box;
    for (const Object3DS& object : model.objects) {
        for (const Face3DS& face : object.faces) {
            for (const int index : face.vertIndex) {
                box.add(object.verts[static_cast<std::size_t>(index)]);
            }
        }
    }
    return box;
}

std::optional<Vector3> framingPosition(const ModelBox& box, Vector3 direction, double fovH,
                                       double ratio) {
    if (box.empty) return std::nullopt;
    const double radius = 0.5 * length(box.high - box.low);
    if (!(radius > 0)) return std::nullopt;
    // The renderer's vertical half-angle is the horizontal one over the ratio.
    const double halfAngle = std::min(fovH, fovH / ratio);
    const Vector3 centre = 0.5 * (box.low + box.high);
    const Vector3 position = centre - unit(direction) * (radius / std::sin(halfAngle));
    if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) {
        return std::nullopt;
    }
    return position;
}

std::optional<Coverage> pictureCoverage(const Model3DS& model, const ViewPoint& camera,
                                        double enough) {
    const Projection projection(camera);
    CoverageGrid grid;
    for (const Object3DS& object : model.objects) {
        for (const Face3DS& face : object.faces) {
            std::array<CameraPoint, 3> corners;
            bool finite = true;
            for (int c = 0; c < 3; ++c) {
                const Point3f& p = object.verts[static_cast<std::size_t>(face.vertIndex[c])];
                finite = finite && isFinite(p);
                corners[c] = projection.toCamera(p);
            }
            std::array<CameraPoint, 4> visible;
            const int count = finite ? clipInFront(corners, visible) : 0;
            if (count < 3) continue;
            std::array<CoverageGrid::Corner, 4> onGrid;
            for (int c = 0; c < count; ++c) onGrid[c] = projection.toGrid(visible[c]);
            if (!grid.cover(onGrid, count)) return std::nullopt;
            if (grid.share() >= enough) return Coverage{grid.share(), true};
        }
    }
    return Coverage{grid.share(), grid.inView()};
}
