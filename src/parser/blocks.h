#pragma once

// Shared by the block parsers of scene files: each reads one statement whose keyword has
// already been read, stores its values in the scene, or ends the run through yyerror.

#include <cstdio>
#include <initializer_list>

#include "model/records.h"

void yy_declare(std::FILE* file);
void yy_settings(std::FILE* file);
void yy_camera(std::FILE* file);
void yy_surface(std::FILE* file);
void yy_light(std::FILE* file);
void yy_sphere(std::FILE* file);
void yy_plane(std::FILE* file);

// The surface that object blocks give their primitives: the last surface block read.
const Surface& currentSurface();

void expectOpeningBrace(std::FILE* file);

// One option word of a quoted-name value and the setting it stands for.
struct Choice {
    const char* word;
    int value;
};

// Reads a quoted name that must be one of `choices` (compared exactly) and returns its value;
// any other name ends the parse with `message`.
int readChoice(std::FILE* file, std::initializer_list<Choice> choices, const char* message);
