#pragma once

#include "model/records.h"

// Derives the camera frame from myViewPoint: writes shared state, so it runs once before
// any render thread starts.
void computeCameraFrame();

// Points a scan routine's own primary ray from the camera along the view direction.
// Only reads the frame.
void screenInit(Ray& ray);

// Aims the primary ray through image point (x, y), in pixels from the top-left corner.
void initRay(double x, double y, Ray& ray);

// The colour seen along the primary ray, averaged over the aperture when the camera has one.
void shoot(const Ray& ray, Color& color, int& depth);
