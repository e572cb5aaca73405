#pragma once

// The scene of a 3DS run: a settings file in the scene language names the model and gives
// the render settings and the parameters of its lights; the model gives the camera, the
// lights and the meshes, whose every face becomes a smoothly shaded patch.

// Reads the settings file and the model it names into the scene. Returns 0, or -1 when the
// model cannot be loaded (missing, not a 3DS file, damaged) once the reader has said why.
// A settings file that cannot be opened or read ends the run with status 255.
int parse3ds(const char* settingsPath);

// Horizontal field of view in degrees of a 3DS camera lens of the given focal length in
// millimetres: the lens is held to 15..1000 mm and looked up in a table of common lenses.
float computeFOV(float lens);
