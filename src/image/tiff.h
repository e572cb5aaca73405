#pragma once

// Uncompressed 8-bit R,G,B TIFF with one row per strip, written by libtiff, top row first.

// Creates the file and sets the TIFF fields for a width x height picture; -1 after saying
// why it cannot.
int openTIFF(const char* path, int width, int height);
// Stores R,G,B `line` as row `row`; the line is not changed.
void writeTIFFLine(unsigned char* line, int row);
// Writes the picture; -1 after saying why it could not.
int closeTIFF();
// Drops the picture without writing it.
void abandonTIFF();
