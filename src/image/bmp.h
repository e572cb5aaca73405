#pragma once

// 24-bit uncompressed bitmap with a 40-byte information header, stored B,G,R with the bottom
// row first and every row padded to a multiple of four bytes.

// Creates the file for a width x height picture; -1 after saying why it cannot.
int openBMP(const char* path, int width, int height);
// Stores R,G,B `line` as row `row`; the line is left in B,G,R order.
void writeBMPLine(unsigned char* line, int row);
// Writes the picture; -1 after saying why it could not.
int closeBMP();
// Drops the picture without writing it.
void abandonBMP();
