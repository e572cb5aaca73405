#pragma once

#include <string>
#include <vector>

// What a loaded scene lets a user get wrong without an error: objects that can only render
// black, a picture stretched by a camera ratio that differs from the image's, and lights too
// dim at every object to change one grey level. Each warning is one line of text.
std::vector<std::string> sceneWarnings();

// Prints every warning of sceneWarnings(), each on its own line; prints nothing without one.
void printSceneWarnings();
