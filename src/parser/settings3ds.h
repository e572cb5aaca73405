#pragma once

#include <cstdio>
#include <string>

// Reads the one block of a 3DS settings file: the model's file name (a 3DS file, or any
// other format with `up` "y" for a y-up model), the light parameters
// shared by every light of the model, the camera index, and the render settings a scene's
// settings and camera blocks would give. The caller presets its variables; errors end the
// run through yyerror.
void yy_3DSSettings(std::FILE* file, std::string& modelName, int& attenuationType, int& shadowType,
                    int& lightSamples, double& lightRadius, int& cameraIndex, bool& yUp);
