#pragma once

// Uncompressed 24-bit TGA, stored B,G,R with the top row first.

// Creates the file for a width x height picture; -1 after saying why it cannot.
int openTGA(const char* path, int width, int height);
// Stores R,G,B `line` as row `row`; the line is left in B,G,R order.
void writeTGALine(unsigned char* line, int row);
// Writes the picture; -1 after saying why it could not.
int closeTGA();
// Drops the picture without writing it.
void abandonTGA();
