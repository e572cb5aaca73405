#pragma once

#include <span>

// The one output picture of a run. Lines may arrive in any order; the file is written
// when the image is closed.

// Opens "<name><extension of iImageType>", or "<name>" when it already ends with that
// extension, for a width x height picture (both at least 1) and
// says so on standard output. The picture is written to a temporary file beside it, so an
// existing file of that name stays untouched until closeImage. Ends the run with status 255,
// before any ray is traced, when the format is not available or the file cannot be created.
int openImage(const char* name, int width, int height);

// Opens the picture as openImage does, without saying so: for a picture announced earlier
// by an openImage whose file was then dropped.
void openImageSilently(const char* name, int width, int height);

// Keeps rows first to first + count - 1 of a picture `width` pixels wide in memory instead of
// writing a file: for a render whose rows go elsewhere. Lines of other rows are dropped. It
// replaces any open image and is closed like one.
void openRowWindow(int width, int first, int count);
// The rows of the open window, top first, 3 bytes per pixel; empty without one.
std::span<const unsigned char> windowRows();

// Stores one line of width RGB pixels as row `row` (0 is the top row). The line's bytes may
// be reordered in place for the format. Band threads may call it at the same time for
// different rows. Returns -1, storing nothing, when no image is open.
int writeImageLine(unsigned char* line, int row);

// Writes the picture under its name. Ends the run with status 255 when it cannot, leaving any
// earlier file of that name as it was.
void closeImage();

// Drops the open picture, if any, without writing it: for a render that ends with an error.
// An existing file of that name is left as it was.
void abandonImage();
