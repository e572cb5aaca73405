#pragma once

// Reads a scene file into the scene globals and prints its summary. Returns 0 when the scene
// is complete and -1 when its camera, settings or surfaces are missing; syntax and value
// errors end the run with status 255 after naming the line.
int parseFile(const char* path);

// Reads one scene file (the top-level scene or an included one) to its end. Returns 0;
// a file that cannot be opened ends the run with status 255.
int parseScene(const char* path);
