#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

const std::string kBanner = "\n LUMORA v0.1 beta 14 (linux-intel-glibc2)\n";
const std::string kBannerMt = "\n LUMORA v0.1 beta 14 (linux-intel-glibc2-multithreaded)\n";
const std::string kUsageStart = "\n Usage: lumora [options] scenefile [...]\n";

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// A small scene that both programs can read in a scratch directory.
class ProgramsTest : public testing::Test {
  protected:
    ProgramsTest() {
        scene_ = dir_.write("scene.lms", minimalScene("sphere { center <0 0 0> radius 1 }\n"
                                                      "plane { normal <0 0 1> distance -1 }\n"));
    }
    ProgramRun run(const std::string& program, std::vector<std::string> arguments) const {
        return runProgram(program, arguments, dir_.path());
    }

    TempDir dir_;
    std::string scene_;
};

TEST_F(ProgramsTest, WithoutArgumentsBothProgramsPrintBannerAndUsage) {
    const ProgramRun single = run(LUMORA_BIN, {});
    EXPECT_EQ(single.exitStatus, 255);
    EXPECT_TRUE(single.output.starts_with(kBanner + kUsageStart)) << single.output;
    EXPECT_EQ(single.output.find("-t/--thread"), std::string::npos);

    const ProgramRun multi = run(LUMORA_MT_BIN, {});
    EXPECT_EQ(multi.exitStatus, 255);
    EXPECT_TRUE(multi.output.starts_with(kBannerMt + kUsageStart)) << multi.output;
    EXPECT_NE(multi.output.find("-t/--thread"), std::string::npos);
}

TEST_F(ProgramsTest, ReadsTheSceneAndCountsItsPrimitives) {
    for (const char* program : {LUMORA_BIN, LUMORA_MT_BIN}) {
        const ProgramRun result = run(program, {"-i", "scene.lms", "-w", "8", "-h", "6"});
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_NE(result.output.find("\n Parsing scene.lms"), std::string::npos);
        EXPECT_NE(result.output.find("\n Number of primitives:\t\t2\n\n"), std::string::npos)
            << result.output;
    }
}

TEST_F(ProgramsTest, BothPassesPrintTheirMessages) {
    const ProgramRun queue =
        run(LUMORA_BIN, {"-pqs", "50", "-i", "scene.lms", "-w", "4", "-h", "3"});
    EXPECT_EQ(queue.exitStatus, 0) << queue.output;
    EXPECT_EQ(occurrences(queue.output, "\n Defaulting priority queue size to 100"), 2);

    const ProgramRun threads =
        run(LUMORA_MT_BIN, {"-t", "3", "-i", "scene.lms", "-w", "4", "-h", "3"});
    EXPECT_EQ(threads.exitStatus, 0) << threads.output;
    EXPECT_EQ(occurrences(threads.output, " Invalid number of threads: defaulting to 2 threads\n"),
              2);
}

TEST_F(ProgramsTest, FailuresEndWithStatus255) {
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {"scene named without -i", {"scene.lms"}, kUsageStart},
        {"unknown option", {"-i", "scene.lms", "--fast"}, kUsageStart},
        {"missing scene", {"-i", "absent.lms"}, "\n Scene file: absent.lms could no be opened\n"},
        {"3DS input", {"-3ds", "model.lms"}, "3DS input is not available yet"},
        {"zero width", {"-i", "scene.lms", "-w", "0"}, "\n Invalid image size 0 x 240"},
        {"non-numeric height", {"-i", "scene.lms", "-h", "tall"}, "\n Invalid image size 320 x 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramRun result = run(LUMORA_BIN, c.arguments);
        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
    }
}

TEST_F(ProgramsTest, SceneErrorsNameTheLine) {
    dir_.write("broken.lms", "settings {\n  output_type \"gif\"\n}\n");
    const ProgramRun result = run(LUMORA_BIN, {"-i", "broken.lms"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_TRUE(result.output.ends_with(
        "\n Parser Error - line: 2 -  invalid output file type specified\n"))
        << result.output;
}

TEST_F(ProgramsTest, IncompleteScenesStopBeforeRendering) {
    dir_.write("nocamera.lms", "settings { output_type \"ppm\" output_name \"x\" }\n");
    const ProgramRun result = run(LUMORA_BIN, {"-i", "nocamera.lms"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_TRUE(result.output.ends_with(" Missing camera!")) << result.output;
}

TEST_F(ProgramsTest, ShippedExamplesParse) {
    const std::string example = std::string(LUMORA_EXAMPLES_DIR) + "/spheres.lms";
    const ProgramRun result = run(LUMORA_BIN, {"-i", example, "-w", "16", "-h", "12", "-ppm"});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find(" Number of light(s):\t\t2\n"), std::string::npos);
}

}  // namespace
