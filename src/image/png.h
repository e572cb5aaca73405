#pragma once

// 8-bit R,G,B PNG (colour type 2), not interlaced, encoded by libpng with its default
// compression and filters, top row first.

// Creates the file and writes the PNG header for a width x height picture; -1 after saying
// why it cannot.
int openPNG(const char* path, int width, int height);
// Stores R,G,B `line` as row `row`; the line is not changed.
void writePNGLine(unsigned char* line, int row);
// Encodes the picture; -1 after saying why it could not.
int closePNG();
// Drops the picture without writing it.
void abandonPNG();
