// lumora-mpi under mpirun on this machine: the picture of any number of ranks is the picture
// of lumora, a scene error is told once, and a rank that stops answering or dies ends the job
// in bounded time with no picture left behind.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace {

using namespace std::chrono_literals;

// The process of rank `rank` whose command line names `marker`; 0 while there is none.
pid_t rankProcess(int rank, const std::string& marker) {
    const std::string wanted = "OMPI_COMM_WORLD_RANK=" + std::to_string(rank);
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        const std::string command = readFile(entry.path() / "cmdline");
        if (command.find(marker) == std::string::npos) continue;
        const std::string environment = readFile(entry.path() / "environ");
        if (environment.find(wanted + '\0') == 0 ||
            environment.find('\0' + wanted + '\0') != std::string::npos) {
            return static_cast<pid_t>(std::stol(name));
        }
    }
    return 0;
}

class RanksTest : public testing::Test {
  protected:
    RanksTest() {
        // The tests may run as root, which mpirun refuses unless told; the leak checker of a
        // sanitized build would report the MPI library's own allocations at exit.
        setenv("OMPI_ALLOW_RUN_AS_ROOT", "1", 1);
        setenv("OMPI_ALLOW_RUN_AS_ROOT_CONFIRM", "1", 1);
        setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        dir_.write("palette.lms", readFile(std::string(LUMORA_EXAMPLES_DIR) + "/palette.lms"));
        dir_.write("random.lms", readFile(std::string(LUMORA_EXAMPLES_DIR) + "/spheres.lms"));
        dir_.write("plain.lms", minimalScene("sphere { center <0 0 0> radius 1 }\n"
                                             "plane { normal <0 0 1> distance -1 }\n"));
    }
    ~RanksTest() override { unsetenv("ASAN_OPTIONS"); }

    // mpirun with `ranks` ranks of lumora-mpi and `arguments`, killed past `limit`.
    LimitedRun mpirun(int ranks, std::vector<std::string> arguments,
                      std::chrono::milliseconds limit = 120s) const {
        arguments.insert(arguments.begin(), {"--oversubscribe", "-np", std::to_string(ranks),
                                             LUMORA_MPI_BIN});
        return runProgramLimited(LUMORA_MPIEXEC, arguments, dir_.path(), {limit, 4L << 20});
    }

    std::string picture(const std::string& name) const { return readFile(dir_.path() / name); }

    TempDir dir_;
};

// Soft shadows and a spot light draw random numbers; the plain scene draws none.
TEST_F(RanksTest, AnyNumberOfRanksWritesTheBytesOfLumora) {
    const struct {
        const char* scene;
        std::vector<std::string> antialiasing;
    } cases[] = {
        {"random.lms", {"-aan"}},
        {"random.lms", {"-aaq"}},
        {"random.lms", {"-aaa", "16"}},
        {"plain.lms", {"-aaq"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"-i", c.scene, "-r", "64", "48", "-ppm"};
        arguments.insert(arguments.end(), c.antialiasing.begin(), c.antialiasing.end());
        SCOPED_TRACE(std::string(c.scene) + " " + c.antialiasing[0]);

        std::vector<std::string> single = arguments;
        single.insert(single.end(), {"-o", "single"});
        ASSERT_EQ(runProgram(LUMORA_BIN, single, dir_.path()).exitStatus, 0);
        const std::string expected = picture("single.ppm");
        ASSERT_FALSE(expected.empty());

        for (const int ranks : {1, 2, 3}) {
            for (const bool threads : {false, true}) {
                std::vector<std::string> spread = arguments;
                spread.insert(spread.end(), {"-o", "spread"});
                if (threads) spread.insert(spread.end(), {"-t", "2"});
                std::filesystem::remove(dir_.path() / "spread.ppm");
                const LimitedRun run = mpirun(ranks, spread);
                ASSERT_EQ(run.exitStatus, 0) << ranks << " ranks\n" << run.output;
                EXPECT_EQ(picture("spread.ppm"), expected) << ranks << " ranks, threads " << threads;
                // The messages and the progress bar are printed once, by rank 0.
                EXPECT_EQ(occurrences(run.output, " Rendering time:"), 1) << run.output;
                EXPECT_EQ(occurrences(run.output, " Parsing "), c.scene[0] == 'r' ? 2 : 1);
            }
        }
    }
}

TEST_F(RanksTest, ASceneErrorIsToldOnceAndEndsEveryRank) {
    dir_.write("broken.lms", "camera { position <0 0 5> look_at <0 0 0>\n  bogus }\n");
    const LimitedRun run = mpirun(3, {"-i", "broken.lms", "-ppm", "-o", "broken"}, 60s);
    EXPECT_FALSE(run.overTime) << run.output;
    EXPECT_NE(run.exitStatus, 0) << run.output;
    EXPECT_EQ(occurrences(run.output, "Parser Error - line: 2"), 1) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "broken.ppm"));
}

// Renders a picture large enough to take seconds (some 4 s of two workers here), sends
// `signal` to rank `rank` once rendering has begun, and returns how the job ended, with what
// it printed.
LimitedRun interruptRank(const TempDir& dir, int rank, int signal, const std::string& output) {
    // The job's output goes to a file that this test can read while the job runs: rank 0
    // prints the picture's size once every rank is past its start-up and rendering begins.
    const std::filesystem::path log = dir.path() / "job.log";
    std::thread interrupter([&] {
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline &&
               readFile(log).find(" Resolution:") == std::string::npos) {
            std::this_thread::sleep_for(20ms);
        }
        std::this_thread::sleep_for(100ms);
        if (const pid_t target = rankProcess(rank, output); target != 0) kill(target, signal);
    });
    const std::string job = std::string("exec '") + LUMORA_MPIEXEC + "' --oversubscribe -np 3 '" +
                            LUMORA_MPI_BIN + "' -i random.lms -r 3200 2400 -ppm -o " + output +
                            " > job.log 2>&1";
    LimitedRun run = runProgramLimited("/bin/sh", {"-c", job}, dir.path(), {120s, 4L << 20});
    interrupter.join();
    run.output = readFile(log);
    return run;
}

TEST_F(RanksTest, ARankThatStopsAnsweringEndsTheJobWithoutAPicture) {
    setenv("LUMORA_RANK_TIMEOUT", "2", 1);
    const auto start = std::chrono::steady_clock::now();
    const LimitedRun run = interruptRank(dir_, 1, SIGSTOP, "stopped");
    unsetenv("LUMORA_RANK_TIMEOUT");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    EXPECT_EQ(run.exitStatus, 255) << run.output;
    EXPECT_NE(run.output.find("\n Rank 1 sent nothing for 2 s: rendering stopped, no picture "
                              "written\n"),
              std::string::npos)
        << run.output;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("stopped")) << entry.path();
    }
}

TEST_F(RanksTest, ARankThatDiesEndsTheJobWithoutAPicture) {
    const auto start = std::chrono::steady_clock::now();
    const LimitedRun run = interruptRank(dir_, 2, SIGKILL, "killed");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
    EXPECT_NE(run.exitStatus, 0) << run.output;
    // mpirun names the rank that died; rank 0 says it was interrupted when mpirun's SIGTERM
    // reaches it before the SIGKILL that follows. Either way no file of the picture is left,
    // not even its temporary one.
    EXPECT_NE(run.output.find("rank 2"), std::string::npos) << run.output;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
        EXPECT_FALSE(entry.path().filename().string().starts_with("killed")) << entry.path();
    }
}

}  // namespace
