#include "test_support.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "app/driver.h"
#include "model/fatal.h"
#include "parser/parser.h"

TempDir::TempDir() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    do {
        path_ = base / ("lumora-test-" + std::to_string(random()));
    } while (!std::filesystem::create_directory(path_));
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
    const auto file = path_ / name;
    std::ofstream(file, std::ios::binary) << content;
    return file.string();
}

Outcome captureRun(const std::function<int()>& call) {
    Outcome outcome{0, false, ""};
    testing::internal::CaptureStdout();
    try {
        outcome.status = call();
    } catch (const ProgramExit& exit) {
        outcome.status = exit.status();
        outcome.exited = true;
    }
    outcome.output = testing::internal::GetCapturedStdout();
    return outcome;
}

namespace {

std::string shellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    quoted += '\'';
    return quoted;
}

}  // namespace

Outcome parseSceneFile(const std::string& path) {
    resetScene();
    return captureRun([&] { return parseFile(path.c_str()); });
}

Outcome parseSceneText(const std::string& text) {
    const TempDir dir;
    return parseSceneFile(dir.write("scene.lms", text));
}

Outcome parseCommandLine(const std::vector<std::string>& arguments) {
    std::vector<std::string> words{"lumora"};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    return captureRun([&] {
        parseArgs(static_cast<int>(words.size()), argv.data());
        return 0;
    });
}

ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments,
                      const std::filesystem::path& directory) {
    std::string command = "cd ";
    command += shellQuote(directory.string());
    command += " && ";
    command += shellQuote(program);
    for (const std::string& argument : arguments) {
        command += ' ';
        command += shellQuote(argument);
    }
    command += " 2>&1";

    ProgramRun run{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    std::array<char, 4096> buffer;
    std::size_t count;
    while ((count = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.output.append(buffer.data(), count);
    }
    const int status = pclose(pipe);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

namespace {

// The high-water mark of the process's resident set, 0 once it is gone.
long peakResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string field;
    long kib = 0;
    while (status >> field) {
        if (field == "VmHWM:") {
            status >> kib;
            break;
        }
    }
    return kib;
}

// Reads what the pipe holds into `output`; false once the pipe has ended.
bool readSome(int fd, std::string& output) {
    std::array<char, 4096> buffer;
    const ssize_t count = read(fd, buffer.data(), buffer.size());
    if (count > 0) output.append(buffer.data(), static_cast<std::size_t>(count));
    return count > 0;
}

// Starts the program in `directory` with both its output streams on `output`. A spawn does
// not copy the test's address space as fork would, which under the sanitizer is large.
pid_t startProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::filesystem::path& directory, int output) {
    std::vector<std::string> words{program};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

}  // namespace

LimitedRun runProgramLimited(const std::string& program, const std::vector<std::string>& arguments,
                             const std::filesystem::path& directory, RunLimits limits) {
    LimitedRun run;
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return run;
    const pid_t pid = startProgram(program, arguments, directory, pipeEnds[1]);
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        return run;
    }

    // Watch the program every few milliseconds while collecting its output; once the pipe
    // has ended, poll() on the closed entry (fd -1) only waits.
    const auto deadline = std::chrono::steady_clock::now() + limits.time;
    pollfd reader{pipeEnds[0], POLLIN, 0};
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (poll(&reader, 1, 5) > 0 && !readSome(reader.fd, run.output)) reader.fd = -1;
        run.peakResidentKiB = std::max(run.peakResidentKiB, peakResidentKiB(pid));
        run.overTime = run.overTime || std::chrono::steady_clock::now() > deadline;
        run.overMemory = run.overMemory || run.peakResidentKiB > limits.residentKiB;
        if (run.overTime || run.overMemory) kill(pid, SIGKILL);
    }
    while (readSome(pipeEnds[0], run.output)) {
    }
    close(pipeEnds[0]);
    if (WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        run.signal = WTERMSIG(status);
    }
    return run;
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

Picture readPpm(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    Picture picture;
    std::string magic;
    int maxValue = 0;
    if (!(file >> magic >> picture.width >> picture.height >> maxValue) || magic != "P6" ||
        maxValue != 255) {
        return {};
    }
    file.get();  // exactly one white-space byte before the pixels
    picture.pixels.assign(std::istreambuf_iterator<char>(file), {});
    return picture;
}

Vector3 unit(Vector3 v) {
    VecNorm(v);
    return v;
}

void expectVectorNear(const Vector3& actual, const Vector3& expected, double tolerance) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

std::string minimalScene(const std::string& objects) {
    return "settings { output_type \"ppm\" output_name \"out\" }\n"
           "camera { position <0 -5 0> look_at <0 0 0> }\n"
           "light { position <0 -5 5> color 1 1 1 }\n"
           "surface { color 1 0 0 ambient 0.2 diffuse 0.8 }\n" +
           objects;
}

void expectSameSurface(const Surface& actual, const Surface& expected) {
    EXPECT_EQ(actual.color.r, expected.color.r);
    EXPECT_EQ(actual.color.g, expected.color.g);
    EXPECT_EQ(actual.color.b, expected.color.b);
    EXPECT_EQ(actual.ambient, expected.ambient);
    EXPECT_EQ(actual.diffuse, expected.diffuse);
    EXPECT_EQ(actual.brilliance, expected.brilliance);
    EXPECT_EQ(actual.specular, expected.specular);
    EXPECT_EQ(actual.roughness, expected.roughness);
    EXPECT_EQ(actual.reflection, expected.reflection);
    EXPECT_EQ(actual.reflectionType, expected.reflectionType);
    EXPECT_EQ(actual.reflectionSamples, expected.reflectionSamples);
    EXPECT_EQ(actual.reflectionRadius, expected.reflectionRadius);
    EXPECT_EQ(actual.refraction, expected.refraction);
    EXPECT_EQ(actual.refractionIndex, expected.refractionIndex);
}
