#pragma once

// The phases of one run that main strings together.

// Slab normals and the defaults that no scene can set.
void initDefaults();

// Releases every list, mesh and shared surface of the scene and puts the globals back to the
// program's start values, so that one process can load scene after scene: the tests and the
// fuzz targets do.
void resetScene();

void showCredits();
void showUsage();

// Applies the command line to the globals. Returns only when it is acceptable; otherwise
// prints the usage text (or what is wrong) and ends the run with status 255. Run once to
// find the input, and once more after loading so that options win over the scene's settings.
void parseArgs(int argc, char* argv[]);

// Reads the scene named on the command line; 0 on success, non-zero once the loader has
// said what is wrong.
int loadScene();

// Ends the run with status 255 when the image has no pixels to render.
void checkImageSize();
