#pragma once

#include "model/records.h"
#include "render/context.h"

// The camera frame that computeCameraFrame derives and every primary ray is built from.
extern Vector3 viewvec;        // unit viewing direction
extern Vector3 leftvec;        // unit screen horizontal: image x grows along it
extern Vector3 looking_up;     // unit screen vertical: image y grows against it
extern double frustrumwidth;   // tan(fovH)
extern double frustrumheight;  // tan(fovV)

// Derives the camera frame from myViewPoint: writes shared state, so it runs once before
// any render thread starts. Ends the run with status 255 when the camera cannot have a frame
// (up parallel to the view direction, or looking at its own position).
void computeCameraFrame();

// Points a scan routine's own primary ray from the camera along the view direction.
// Only reads the frame.
void screenInit(Ray& ray);

// Aims the primary ray through image point (x, y), in pixels from the top-left corner.
void initRay(double x, double y, Ray& ray);

// The colour seen along the primary ray, averaged over the aperture when the camera has one.
void shoot(const Ray& ray, Color& color, TraceContext& context);
