#pragma once

// The one output picture of a run. Lines may arrive in any order; the file is written
// when the image is closed.

// Opens "<name><extension of iImageType>" for a width x height picture.
int openImage(const char* name, int width, int height);

// Stores one line of width RGB pixels as row `row` (0 is the top row). The line's bytes may
// be reordered in place for the format.
int writeImageLine(unsigned char* line, int row);

void closeImage();
