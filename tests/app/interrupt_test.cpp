#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Whether the directory holds a picture in progress ("<target>.partXXXXXX").
bool hasTemporary(const fs::path& directory) {
    for (const auto& entry : fs::directory_iterator(directory)) {
        if (entry.path().filename().string().find(".part") != std::string::npos) return true;
    }
    return false;
}

// Starts `program` rendering in `directory` with its output in "log", waits until its
// picture is in progress, sends `signal` and returns how the process ended.
int interruptedRender(const std::string& program, const fs::path& directory, int signal) {
    const std::string script =
        "cd \"$1\" && exec \"$2\" -i scene.lms -r 3000 2000 -aaa 1 >log 2>&1";
    std::vector<std::string> words = {"sh", "-c", script, "sh", directory.string(), program};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ) != 0) return -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!hasTemporary(directory) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

// An interrupted render leaves the picture it would have replaced as it was and nothing
// else, says so, and ends by the signal it got, so that a calling shell sees an interrupt.
TEST(InterruptTest, SignalsRemoveThePictureInProgressAndEndTheRun) {
    const struct {
        const char* program;
        int signal;
    } cases[] = {
        {LUMORA_BIN, SIGINT},
        {LUMORA_BIN, SIGTERM},
        {LUMORA_BIN, SIGHUP},
        {LUMORA_MT_BIN, SIGINT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " with signal " + std::to_string(c.signal));
        const TempDir dir;
        dir.write("scene.lms", minimalScene("sphere { center <0 0 0> radius 1 }\n"));
        const std::string previous = "the picture of an earlier render";
        dir.write("out.ppm", previous);

        const int status = interruptedRender(c.program, dir.path(), c.signal);
        ASSERT_TRUE(WIFSIGNALED(status)) << "status " << status;
        EXPECT_EQ(WTERMSIG(status), c.signal);
        EXPECT_EQ(readFile(dir.path() / "out.ppm"), previous);
        EXPECT_FALSE(hasTemporary(dir.path()));
        EXPECT_NE(readFile(dir.path() / "log")
                      .find("\n Render interrupted by signal " + std::to_string(c.signal) +
                            ": no picture written\n"),
                  std::string::npos)
            << readFile(dir.path() / "log");
    }
}

}  // namespace
