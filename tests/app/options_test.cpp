#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/driver.h"
#include "model/globals.h"
#include "test_support.h"

namespace {

class OptionsTest : public SceneTest {};

const std::string kUsageStart = "\n Usage: lumora [options] scenefile [...]\n\n";
const std::string kThreadLine =
    "  -t/--thread        int         specify the number thread to use (2, 4 or 8)\n";

bool startsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

TEST_F(OptionsTest, RefusedCommandLinesSayWhatIsWrongBeforeTheUsage) {
    const struct {
        std::vector<std::string> arguments;
        std::string what;  // the line before the usage text; none for a help request
    } cases[] = {
        {{}, "no scene named: give one with -i (or -3ds)"},
        {{"scene.lms"},
         "'scene.lms' is not read: name the scene with -i (or a 3DS settings file with -3ds)"},
        {{"scene.lms", "other.lms", "-w", "4"},
         "'scene.lms' is not read: name the scene with -i (or a 3DS settings file with -3ds)"},
        {{"-i", "s.lms", "-x"}, "'-x' is not an option"},
        {{"-i", "s.lms", "-I"}, "'-I' is not an option"},
        {{"-i", "s.lms", "--outputs", "pic"}, "'--outputs' is not an option"},
        {{"-i", "s.lms", "-t", "4"}, "'-t' is not an option (threads are for lumora-mt)"},
        {{"-i", "s.lms", "--thread", "4"},
         "'--thread' is not an option (threads are for lumora-mt)"},
        {{"-i", "s.lms", "-o"}, "'-o' needs a file name after it"},
        {{"-i", "s.lms", "--width"}, "'--width' needs an integer after it"},
        {{"-i", "s.lms", "-r", "640"}, "'-r' needs a width and a height after it"},
        {{"-i"}, "'-i' needs a file name after it"},
        {{"-i", "s.lms", "-aaa", "0"}, "'-aaa' needs a threshold other than 0"},
        {{"-i", "s.lms", "-aaa", "-0"}, "'-aaa' needs a threshold other than 0"},
        {{"-i", "s.lms", "-aaa", "fine"}, "'-aaa' needs a number, not 'fine'"},
        {{"-i", "s.lms", "--aaadatpive", "x1"}, "'-aaa' needs a number, not 'x1'"},
        {{"-i", "s.lms", "-?"}, ""},
        {{"-i", "s.lms", "--help"}, ""},
    };
    for (const auto& c : cases) {
        const Outcome outcome = parseCommandLine(c.arguments);
        EXPECT_TRUE(outcome.exited);
        EXPECT_EQ(outcome.status, -1);
        const std::string line = c.what.empty() ? "" : "\n Command line error: " + c.what + "\n";
        EXPECT_TRUE(startsWith(outcome.output, line + kUsageStart)) << outcome.output;
        EXPECT_EQ(outcome.output.find(kThreadLine), std::string::npos);
    }
}

TEST_F(OptionsTest, TheUsageTextsSpellingsOfOutputAndAdaptiveAreAccepted) {
    const Outcome outcome =
        parseCommandLine({"-i", "s.lms", "--ouput", "pic", "--aaadatpive", "9"});
    ASSERT_FALSE(outcome.exited) << outcome.output;
    EXPECT_STREQ(myDisplay.outputName, "pic");
    EXPECT_EQ(iAntialias, ANTIALIAS_ADAPTIVE);
    EXPECT_EQ(adapt_dist, 9);
}

TEST_F(OptionsTest, VersionEndsTheRunWithStatusZero) {
    const Outcome outcome = parseCommandLine({"--version"});
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, "") << "the banner, printed before, is the version";
}

TEST_F(OptionsTest, UsageOfTheMultithreadedProgramListsTheThreadOption) {
    multiThreaded = true;
    const Outcome outcome = parseCommandLine({"--help"});
    EXPECT_TRUE(outcome.exited);
    EXPECT_NE(
        outcome.output.find(
            "  -r/--resolution    int int     specify width and height of the output image\n" +
            kThreadLine + "  -j/--jitter                    activate jittering\n"),
        std::string::npos)
        << outcome.output;
    EXPECT_TRUE(outcome.output.ends_with(
        "  -?/--help                      this help message\n"
        "  --stats                        print rays traced, phase times and peak memory\n"
        "  --version                      print the version and exit\n\n"));
}

TEST_F(OptionsTest, EveryOptionSetsItsGlobal) {
    const Outcome outcome = parseCommandLine({"--input", "scene.lms", "--output", "picture", "-w",
                                              "640", "--height", "400", "-j", "--camera", "2",
                                              "-aaq", "-tif", "-pqs", "500", "--stats", "ignored"});
    ASSERT_FALSE(outcome.exited) << outcome.output;
    EXPECT_EQ(outcome.output, "") << "a queue size above 100 is taken silently";
    EXPECT_STREQ(inputFileName, "scene.lms");
    EXPECT_STREQ(myDisplay.outputName, "picture");
    EXPECT_EQ(myDisplay.width, 640);
    EXPECT_EQ(myDisplay.height, 400);
    EXPECT_EQ(jitter, 1);
    EXPECT_EQ(iCameraIndex, 2) << "cameras count from 0, as the settings' camera_index";
    EXPECT_EQ(iCameraGiven, 1);
    EXPECT_EQ(iAntialias, ANTIALIAS_QUICK);
    EXPECT_EQ(iImageType, IMAGE_TIFF);
    EXPECT_EQ(iPQSize, 500);
    EXPECT_EQ(iStatistics, 1);
    EXPECT_EQ(use3ds, 0);
}

TEST_F(OptionsTest, LaterOptionsOverrideEarlierOnes) {
    const struct {
        std::vector<std::string> arguments;
        int imageType;
        int antialias;
    } cases[] = {
        {{"-tga", "--bmp"}, IMAGE_BMP, ANTIALIAS_NONE},
        {{"--ppm", "--png"}, IMAGE_PNG, ANTIALIAS_NONE},
        {{"--jpeg", "--aaadaptive", "16"}, IMAGE_JPEG, ANTIALIAS_ADAPTIVE},
        {{"-jpg", "-aaa", "16", "--aanone"}, IMAGE_JPEG, ANTIALIAS_NONE},
        {{"--tga", "--aaquick", "-aaa", "7"}, IMAGE_TGA, ANTIALIAS_ADAPTIVE},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"-i", "s.lms"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        ASSERT_FALSE(parseCommandLine(arguments).exited);
        EXPECT_EQ(iImageType, c.imageType);
        EXPECT_EQ(iAntialias, c.antialias);
    }
    EXPECT_EQ(adapt_dist, 7);
}

TEST_F(OptionsTest, ResolutionAndThreeDsInput) {
    ASSERT_FALSE(parseCommandLine({"-r", "800", "600", "-3ds", "model.lms", "-i", "s.lms"}).exited);
    EXPECT_EQ(myDisplay.width, 800);
    EXPECT_EQ(myDisplay.height, 600);
    EXPECT_STREQ(inputFileName, "s.lms");
    EXPECT_EQ(use3ds, 1) << "once a 3DS input is named, it stays a 3DS run";
}

TEST_F(OptionsTest, NumbersReadTheirLeadingDigits) {
    ASSERT_FALSE(parseCommandLine({"-i", "s", "-w", "12px", "-h", "abc"}).exited);
    EXPECT_EQ(myDisplay.width, 12);
    EXPECT_EQ(myDisplay.height, 0);
}

TEST_F(OptionsTest, SmallQueueSizesBecomeOneHundred) {
    for (const char* size : {"50", "100", "-3"}) {
        const Outcome outcome = parseCommandLine({"-i", "s", "-pqs", size});
        ASSERT_FALSE(outcome.exited);
        EXPECT_EQ(outcome.output, "\n Defaulting priority queue size to 100");
        EXPECT_EQ(iPQSize, 100);
    }
    ASSERT_FALSE(parseCommandLine({"-i", "s", "--pqsize", "101"}).exited);
    EXPECT_EQ(iPQSize, 101);
}

TEST_F(OptionsTest, ThreadCountsOtherThanTwoFourOrEightBecomeTwo) {
    multiThreaded = true;
    for (const char* count : {"2", "4", "8"}) {
        const Outcome outcome = parseCommandLine({"-i", "s", "--thread", count});
        ASSERT_FALSE(outcome.exited);
        EXPECT_EQ(outcome.output, "");
        EXPECT_EQ(numThreads, std::stoi(count));
    }
    for (const char* count : {"3", "16", "0", "x"}) {
        const Outcome outcome = parseCommandLine({"-i", "s", "-t", count});
        ASSERT_FALSE(outcome.exited);
        EXPECT_EQ(outcome.output, " Invalid number of threads: defaulting to 2 threads\n");
        EXPECT_EQ(numThreads, 2);
    }
}

TEST_F(OptionsTest, NamesThatDoNotFitAreRefused) {
    const std::string longOutput(256, 'o');
    const Outcome output = parseCommandLine({"-i", "s", "-o", longOutput});
    EXPECT_TRUE(output.exited);
    EXPECT_EQ(output.status, -1);
    EXPECT_EQ(output.output, "\n Output name longer than 255 characters: " + longOutput + "\n");

    ASSERT_FALSE(parseCommandLine({"-i", "s", "-o", std::string(255, 'o')}).exited);

    const std::string longInput(512, 'i');
    const Outcome input = parseCommandLine({"-3ds", longInput});
    EXPECT_TRUE(input.exited);
    EXPECT_EQ(input.output, "\n Input name longer than 511 characters: " + longInput + "\n");
}

TEST_F(OptionsTest, ImagesWithoutPixelsAreRefused) {
    const struct {
        int width, height;
        bool accepted;
    } cases[] = {{1, 1, true}, {0, 240, false}, {320, 0, false}, {-5, 10, false}};
    for (const auto& c : cases) {
        myDisplay.width = c.width;
        myDisplay.height = c.height;
        const Outcome outcome = captureRun([] {
            checkImageSize();
            return 0;
        });
        EXPECT_EQ(outcome.exited, !c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(outcome.output, "\n Invalid image size " + std::to_string(c.width) + " x " +
                                          std::to_string(c.height) +
                                          ": width and height must be at least 1\n");
        }
    }
}

}  // namespace
