#pragma once

// Baseline JPEG encoded by libjpeg at the quality `jpeg_quality` (clamped to 1 to 100 at
// close, an unset one giving 90), from R,G,B pixels, top row first.

// Creates the file for a width x height picture (each at most 65500); -1 after saying why it
// cannot.
int openJPG(const char* path, int width, int height);
// Stores R,G,B `line` as row `row`; the line is not changed.
void writeJPGLine(unsigned char* line, int row);
// Encodes the picture; -1 after saying why it could not.
int closeJPG();
// Drops the picture without writing it.
void abandonJPG();
