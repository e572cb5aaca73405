#pragma once

#include <functional>
#include <string_view>

// What the fuzz targets share. A target loads one input per call, all in one process, so each
// call starts from an empty scene and releases it at the end, whether the input was loaded or
// refused: an error that would end the program (ProgramExit) ends only that call.

// Once per process, libFuzzer's initialisation (defined with these helpers) makes a private
// folder under the temporary directory, removed at exit, where the inputs are written and
// where every load runs, and writes there the target's companion file. It sends standard
// output, which the loaders fill with summaries and messages, to /dev/null, and adjusts
// libFuzzer's arguments so that what it writes on a crash still lands in the folder it was
// started in.

// A file that a target's inputs refer to; every target defines its own (a null name: none).
struct CompanionFile {
    const char* name;
    std::string_view content;
};
extern const CompanionFile companionFile;

// Runs `load` on an empty scene, inside the private folder so that every relative name it
// opens is looked up there, and releases whatever it made, however it ended.
void loadAndRelease(const std::function<void()>& load);

// Writes `input` to the named file of the private folder and runs `load` as loadAndRelease
// does. A load that returns 0 made a complete scene, which is then grouped into its bounding
// hierarchy, as a render would before its first ray.
void loadInput(const char* name, std::string_view input, const std::function<int()>& load);
