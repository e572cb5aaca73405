#pragma once

#include <string>

// Creates a picture's temporary file with mkstemp from `pathTemplate`, which it completes,
// and guards it from the moment it exists: a signal that ends the run (interrupt,
// termination, hang-up and the like) removes the file and says so on one line before the
// process ends, by that same signal, so that the shell or script that started the render
// sees it interrupted. The picture it would have replaced is never touched. Returns the
// file's descriptor, or -1 with errno set.
int createGuardedTemporary(std::string& pathTemplate);

// The temporary file is gone (renamed into place or removed): signals act as before.
void releaseTemporaryFile();
