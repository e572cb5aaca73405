#pragma once

#include <cstdio>
#include <string>

// How the model is to be stood and shown, beyond what the model file itself says.
struct ModelOptions {
    bool yUp = false;       // "up" "y": the model's up axis is y, not z
    bool frame = false;     // "frame" "yes": a model without camera is looked at whole
    bool headlight = false; // "headlight" "yes": a model without light gets one at the camera
};

// Reads the one block of a 3DS settings file: the model's file name (a 3DS file, or any
// other format with `up` "y" for a y-up model), the light parameters shared by every light
// of the model, the camera index, the model options, and the render settings a scene's
// settings and camera blocks would give. The caller presets its variables; errors end the
// run through yyerror.
void yy_3DSSettings(std::FILE* file, std::string& modelName, int& attenuationType, int& shadowType,
                    int& lightSamples, double& lightRadius, int& cameraIndex,
                    ModelOptions& options);
