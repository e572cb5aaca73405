#pragma once

#include <string>

#include "import3ds/model3ds.h"

// Reads a model in any format the importing library knows (OBJ, PLY, STL, glTF, FBX, Collada
// and more) into `model`, as the 3DS reader would leave one: a mesh of triangles per mesh
// the file places, with the placements of its node tree applied, the file's vertex normals
// where it gives them, the materials' diffuse colours, the cameras and the point lights.
// Returns an empty string on success; otherwise why the file could not be read (the
// library's own words where it gives them), with `model` left empty.
//
// The library runs in a child process: some damaged files crash it, others make it loop for
// ever. A crash, or more than `seconds` of processor time (a million-face model takes a few),
// is reported as a damaged file.
constexpr unsigned kImportSeconds = 60;
std::string importModelFile(const std::string& path, Model3DS& model,
                            unsigned seconds = kImportSeconds);
