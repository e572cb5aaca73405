#include "test_support.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
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
