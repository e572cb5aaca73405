#pragma once

// Raw (binary) portable pixmap, R,G,B with the top row first.

// Creates the file for a width x height picture; -1 after saying why it cannot.
int openPPM(const char* path, int width, int height);
// Stores R,G,B `line` as row `row`; the line is not changed.
void writePPMLine(unsigned char* line, int row);
// Writes the picture; -1 after saying why it could not.
int closePPM();
// Drops the picture without writing it.
void abandonPPM();
