#pragma once

#include <string>

// While a picture is being written to its temporary file, a signal that ends the run
// (interrupt, termination, hang-up and the like) removes that file and says so on one line
// before the process ends, by that same signal, so that the shell or script that started
// the render sees it interrupted. The picture it would have replaced is never touched.
void guardTemporaryFile(const std::string& path);

// The temporary file is gone (renamed into place or removed): signals act as before.
void releaseTemporaryFile();
