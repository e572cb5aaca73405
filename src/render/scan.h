#pragma once

// Scan routines: each renders the row band iBounds[index] and hands finished rows to the
// image writer. In the multithreaded program each is the body of one render thread.
void scanNone(int index);
void scanCorners(int index);
void scanAdaptive(int index);

void showProgressInit();
void showProgress(int row);
