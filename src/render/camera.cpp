#include "render/camera.h"

#include <cmath>
#include <cstdio>

#include "model/fatal.h"
#include "model/globals.h"
#include "render/shade.h"

Vector3 viewvec;
Vector3 leftvec;
Vector3 looking_up;
double frustrumwidth;
double frustrumheight;

namespace {

// Below this sine of the angle between up and the view direction the frame would rest on a
// cross product made of rounding errors (and at exactly zero on a division by zero).
constexpr double kParallelSine = 1e-9;

[[noreturn]] void cameraError(const char* what) {
    std::printf("\n Camera error: %s\n", what);
    endProgram(kErrorStatus);
}

// A sample offset across the aperture: a magnitude in [0, 1] first, then its sign.
double apertureOffset(SampleRandom& random) {
    double offset = random.unit();
    if (random.unit() > 0.5) offset = -offset;
    return offset;
}

}  // namespace

void computeCameraFrame() {
    ViewPoint& camera = myViewPoint;

    // Validate before touching anything: the cross products below would turn either fault
    // into NaN directions and a silently black picture.
    const Vector3 sight = camera.lookAt - camera.position;
    if (!(length(sight) > 0)) cameraError("the position and the look_at point are the same");
    Vector3 view = sight;
    VecNorm(view);
    if (!(length(cross(camera.up, view)) > kParallelSine * length(camera.up)))
        cameraError("the up vector is parallel to the viewing direction");

    VecNorm(camera.up);
    viewvec = view;

    leftvec = cross(camera.up, viewvec);
    VecNorm(leftvec);
    leftvec = -leftvec;

    // The up hint becomes the true screen vertical, so a second call finds the same frame.
    camera.up = cross(leftvec, viewvec);
    VecNorm(camera.up);
    looking_up = camera.up;

    if (camera.aperture > 0) {
        camera.apertureLeft = leftvec * camera.aperture;
        Vector3 apertureUp = cross(viewvec, leftvec);
        VecNorm(apertureUp);
        camera.apertureUp = apertureUp * camera.aperture;
    }

    // The vertical half-angle is the horizontal one divided by the ratio, not its tangent:
    // wide fields of view get a proportionally narrower frustum vertically.
    camera.fovV = camera.fovH / camera.ratio;
    frustrumwidth = std::tan(camera.fovH);
    frustrumheight = std::tan(camera.fovV);
}

void screenInit(Ray& ray) {
    ray.origin = myViewPoint.position;
    ray.direction = viewvec;
}

void initRay(double x, double y, Ray& ray) {
    const double width = myDisplay.width;
    const double height = myDisplay.height;
    Vector3 direction;
    if (myViewPoint.projectionType == PROJECTION_FISHEYE) {
        // Image coordinates map linearly to angles, so the edges lie at +-fovH and +-fovV.
        const double h = 2 * myViewPoint.fovH * (x - 0.5 * width) / width;
        const double v = 2 * myViewPoint.fovV * (0.5 * height - y) / height;
        direction =
            std::sin(h) * leftvec + std::sin(v) * looking_up + std::cos(h) * std::cos(v) * viewvec;
    } else {
        const double u = (2 * x / width - 1) * frustrumwidth;
        const double v = (2 * y / height - 1) * -frustrumheight;
        direction = u * leftvec + v * looking_up + viewvec;
    }
    VecNorm(direction);
    ray.direction = direction;
}

void shoot(const Ray& ray, Color& color, TraceContext& context) {
    const ViewPoint& camera = myViewPoint;
    if (camera.aperture <= 0) {
        ++context.rays.primary;
        trace(ray, color, context);
        return;
    }

    // Depth of field: every sample leaves from its own point of the square aperture and
    // passes through the primary ray's point on the focal plane, which stays sharp.
    const Vector3 focalPoint = ray.origin + camera.focalLength * ray.direction;
    Color sum{0, 0, 0};
    for (int i = 0; i < camera.cameraSamples; ++i) {
        Ray sample;
        sample.origin = ray.origin;
        sample.origin = sample.origin + apertureOffset(context.random) * camera.apertureLeft;
        sample.origin = sample.origin + apertureOffset(context.random) * camera.apertureUp;
        sample.direction = focalPoint - sample.origin;
        VecNorm(sample.direction);

        ++context.rays.primary;
        trace(sample, color, context);
        sum = sum + color;
    }
    color = sum / camera.cameraSamples;
}
