#pragma once

// Renders the loaded scene into the output image, on one thread or on numThreads row bands.
void doTrace();

// Splits the image height into n consecutive row bands in iBounds.
void initMTBounds(int n);
