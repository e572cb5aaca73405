#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/driver.h"  // resetScene
#include "model/records.h"

// Shared by the tests: a clean scene between tests, scratch directories, and running the
// parser or the built programs while capturing what they print.

// Tests that touch the scene globals start and end with a clean scene.
class SceneTest : public testing::Test {
  protected:
    void SetUp() override { resetScene(); }
    void TearDown() override { resetScene(); }
};

// A fresh directory under the system's temporary directory, removed with its contents.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Writes `content` to the named file inside the directory and returns its full path.
    std::string write(const std::string& name, const std::string& content) const;

  private:
    std::filesystem::path path_;
};

// How a call into the library ended: its result, or the status it ended the run with.
struct Outcome {
    int status;          // the function's result when it returned, the ProgramExit status otherwise
    bool exited;         // true when the run was ended (ProgramExit)
    std::string output;  // what it printed on standard output
};

// Runs `call`, capturing standard output and catching the end of the run.
Outcome captureRun(const std::function<int()>& call);

// parseFile on a scene written from `text`, with the scene reset first.
Outcome parseSceneText(const std::string& text);

// parseFile on an existing file, with the scene reset first.
Outcome parseSceneFile(const std::string& path);

// parseArgs on the given arguments (the program name is added in front).
Outcome parseCommandLine(const std::vector<std::string>& arguments);

// Runs a built program with the arguments in `directory` and captures standard output and
// standard error together.
struct ProgramRun {
    int exitStatus;
    std::string output;
};
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::filesystem::path& directory);

// How long a program may run and how much memory it may hold before it is killed.
struct RunLimits {
    std::chrono::milliseconds time;
    long residentKiB;
};

// How a program run under limits ended.
struct LimitedRun {
    int exitStatus = -1;       // its exit status; -1 when a signal ended it
    int signal = 0;            // the signal that ended it, 0 when it exited
    bool overTime = false;     // killed for running past the time limit
    bool overMemory = false;   // killed for holding more memory than allowed
    long peakResidentKiB = 0;  // the most memory it was seen to hold at once
    std::string output;        // standard output and standard error together
};

// Runs a built program like runProgram, but without a shell, watching its time and memory:
// a program that passes a limit is killed with SIGKILL. Memory is the resident set, not the
// address space, which a sanitized program reserves by terabytes.
LimitedRun runProgramLimited(const std::string& program, const std::vector<std::string>& arguments,
                             const std::filesystem::path& directory, RunLimits limits);

// The whole content of a file, empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// How many times `part` occurs in `text`, overlapping occurrences included.
int occurrences(const std::string& text, const std::string& part);

// A picture as the renderer computed it: R, G, B rows, top row first.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;

    unsigned char* row(int y) { return pixels.data() + 3 * static_cast<std::size_t>(width) * y; }
};

// The pixels of a raw PPM as the PPM writer writes it; an empty picture when it is not one
// (a missing file included).
Picture readPpm(const std::filesystem::path& path);

// The slab extents the object's kind gives the hierarchy builder.
inline SlabBox slabsOf(const ObjectRecord& object) {
    return object.boundsFn(object);
}

// Expects every attribute of `actual` to equal the same attribute of `expected`.
void expectSameSurface(const Surface& actual, const Surface& expected);

// v scaled to unit length.
Vector3 unit(Vector3 v);

// Expects every component of `actual` within `tolerance` of the same component of `expected`.
void expectVectorNear(const Vector3& actual, const Vector3& expected, double tolerance = 1e-12);

// A scene with the blocks every scene needs (camera, settings, surface, light) followed by
// `objects`.
std::string minimalScene(const std::string& objects = "");
