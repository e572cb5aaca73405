#pragma once

// Shared by the block parsers of scene files: each reads one statement whose keyword has
// already been read, stores its values in the scene, or ends the run through yyerror.

#include <cstdio>
#include <initializer_list>
#include <string>

#include "model/records.h"

void yy_declare(std::FILE* file);
void yy_settings(std::FILE* file);
void yy_camera(std::FILE* file);
void yy_surface(std::FILE* file);
void yy_light(std::FILE* file);
void yy_sphere(std::FILE* file);
void yy_plane(std::FILE* file);
void yy_disc(std::FILE* file);
void yy_ring(std::FILE* file);
void yy_cylindre(std::FILE* file);
void yy_cone(std::FILE* file);
void yy_polygon(std::FILE* file);
void yy_triangle(std::FILE* file);
void yy_patch(std::FILE* file);  // "patch" and "smooth_triangle"
void yy_mesh(std::FILE* file);

// A file named in the scene being read: as named when it exists so (or the name is absolute),
// else beside that scene file when it exists there, else as named.
std::string besideScene(const std::string& name);

// Sample counts beyond these are refused. Each multiplies the rays of a pixel: light samples
// per shadow test, camera samples per pixel, reflection samples per fuzzy bounce; at the
// bounds a pixel already takes a million rays, and no scene that renders in reasonable time
// comes near them.
constexpr int kMostLightSamples = 1024;
constexpr int kMostCameraSamples = 1024;
constexpr int kMostReflectionSamples = 256;

// The surface that object blocks give their primitives: the last surface block read.
const Surface& currentSurface();

// Puts back what objects placed before any surface block get: a new surface block's start.
void resetCurrentSurface();

// Puts the settings that every settings block starts from: background, image size, jitter,
// anti-aliasing, its threshold and haze.
void resetRenderSettings();

// Reads the value of a key that scene settings blocks and 3DS settings files share (image,
// output, anti-aliasing, background and haze). Returns false when `keyword` is not one.
bool readRenderSetting(std::FILE* file, int keyword);

// The shadow and attenuation keys that light blocks and 3DS settings files share, with what
// they start from in a light block. Sharp shadows read neither radius nor samples.
struct ShadowKeys {
    int attenuationType = ATTENUATION_D2;
    int shadowType = SHADOW_SHARP;
    double radius = 0;
    int samples = 0;
    int radii = 0;
    int sampleCounts = 0;

    // Smooth shadows need their radius and their samples exactly once.
    bool complete() const {
        return shadowType != SHADOW_SMOOTH || (radii == 1 && sampleCounts == 1);
    }
};

// Reads attenuation type, shadow type, light radius or light samples; false for any other key.
bool readShadowKey(std::FILE* file, int keyword, ShadowKeys& keys);

// The depth-of-field keys that camera blocks and 3DS settings files share.
struct FocusKeys {
    Vector3 focalPoint{0, 0, 0};
    int focalLengths = 0;
    int focalPoints = 0;
};

// Reads aperture, focal length, focal point or camera samples; false for any other key.
bool readFocusKey(std::FILE* file, int keyword, FocusKeys& focus);

// A focus is given by a length or by a point, not both; a point gives the length as its
// distance from the camera position.
void finishFocus(const FocusKeys& focus);

void expectOpeningBrace(std::FILE* file);

// One option word of a quoted-name value and the setting it stands for.
struct Choice {
    const char* word;
    int value;
};

// Reads a quoted name that must be one of `choices` (compared exactly) and returns its value;
// any other name ends the parse with `message`.
int readChoice(std::FILE* file, std::initializer_list<Choice> choices, const char* message);
