#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "import3ds/chunk_writer.h"
#include "test_support.h"

namespace {

const std::string kBanner = "\n LUMORA v0.1 beta 14 (linux-intel-glibc2)\n";
const std::string kBannerMt = "\n LUMORA v0.1 beta 14 (linux-intel-glibc2-multithreaded)\n";
const std::string kUsageStart = "\n Usage: lumora [options] scenefile [...]\n";

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

    const ProgramRun hugeQueue =
        run(LUMORA_BIN, {"-pqs", "2000000000", "-i", "scene.lms", "-w", "4", "-h", "3"});
    EXPECT_EQ(hugeQueue.exitStatus, 0) << hugeQueue.output;
    EXPECT_EQ(occurrences(hugeQueue.output, "\n Limiting priority queue size to 1048576"), 2);

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
        {"3DS settings missing",
         {"-3ds", "model.lms"},
         "\n 3ds settings file: model.lms could no be opened\n"},
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

// A pipe no program writes to would hold a plain open() forever; a directory or a device is
// no scene either. Each is refused as a file that cannot be opened.
TEST_F(ProgramsTest, InputsThatAreNotRegularFilesAreRefusedWithoutWaiting) {
    for (const char* pipe : {"pipe.lms", "pipe.3ds"}) {
        ASSERT_EQ(mkfifo((dir_.path() / pipe).c_str(), 0600), 0) << pipe;
    }
    std::filesystem::create_directory(dir_.path() / "folder.lms");
    dir_.write("includes.lms", "include \"pipe.lms\"\n");
    dir_.write("model.lms", "{ input_name \"pipe.3ds\" }\n");
    const struct {
        const char* what;
        std::vector<std::string> arguments;
        std::string message;
    } cases[] = {
        {"a pipe", {"-i", "pipe.lms"}, "\n Scene file: pipe.lms could no be opened\n"},
        {"a directory", {"-i", "folder.lms"}, "\n Scene file: folder.lms could no be opened\n"},
        {"a device", {"-i", "/dev/zero"}, "\n Scene file: /dev/zero could no be opened\n"},
        {"an included pipe",
         {"-i", "includes.lms"},
         "\n Scene file: pipe.lms could no be opened\n"},
        {"3DS settings from a pipe",
         {"-3ds", "pipe.lms"},
         "\n 3ds settings file: pipe.lms could no be opened\n"},
        {"a 3DS model from a pipe", {"-3ds", "model.lms"}, " Unable to find the file: pipe.3ds!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const ProgramRun result = run(LUMORA_BIN, c.arguments);
        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
    }
}

// 120 GB of picture: more than any machine that runs the tests has, memory and swap together.
TEST_F(ProgramsTest, PictureTooLargeForMemoryEndsWithStatus1BeforeRendering) {
    for (const char* program : {LUMORA_BIN, LUMORA_MT_BIN}) {
        const ProgramRun result = run(program, {"-i", "scene.lms", "-r", "200000", "200000"});
        EXPECT_EQ(result.exitStatus, 1) << program;
        EXPECT_NE(result.output.find("\n Not enough memory for a 200000 x 200000 picture\n"),
                  std::string::npos)
            << result.output;
        EXPECT_NE(result.output.find("\n\n LUMORA is out of memory...\n"), std::string::npos);
        EXPECT_EQ(result.output.find("0%---"), std::string::npos) << "no ray is traced";
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_.path()), {}), 1)
            << "nothing is left beside the scene";
    }
}

TEST_F(ProgramsTest, SceneErrorsNameTheLine) {
    dir_.write("broken.lms", "settings {\n  output_type \"gif\"\n}\n");
    const ProgramRun result = run(LUMORA_BIN, {"-i", "broken.lms"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_TRUE(result.output.ends_with(
        "\n Parser Error - line: 2 -  invalid output file type specified\n"
        " broken.lms:2: read \"gif\"; accepted: \"tga\", \"bmp\", \"ppm\", \"png\", \"jpeg\", "
        "\"tiff\"\n"))
        << result.output;
}

TEST_F(ProgramsTest, IncompleteScenesStopBeforeRendering) {
    dir_.write("nocamera.lms", "settings { output_type \"ppm\" output_name \"x\" }\n");
    const ProgramRun result = run(LUMORA_BIN, {"-i", "nocamera.lms"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_TRUE(result.output.ends_with(" Missing camera!")) << result.output;
}

TEST_F(ProgramsTest, VersionPrintsTheBannerAndEndsWithStatusZero) {
    EXPECT_EQ(run(LUMORA_BIN, {"--version"}).output, kBanner);
    EXPECT_EQ(run(LUMORA_BIN, {"--version"}).exitStatus, 0);
    EXPECT_EQ(run(LUMORA_MT_BIN, {"--version"}).output, kBannerMt);
    EXPECT_EQ(run(LUMORA_MT_BIN, {"--version"}).exitStatus, 0);
}

TEST_F(ProgramsTest, AWrongCommandLineNamesTheArgumentBeforeTheUsage) {
    const ProgramRun result = run(LUMORA_BIN, {"-i", "scene.lms", "-x"});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_TRUE(result.output.starts_with(
        kBanner + "\n Command line error: '-x' is not an option\n" + kUsageStart))
        << result.output;
}

// The lines that follow the summary of the small scene, rendered 8 x 6.
const std::string kSummaryEnd = " Number of light(s):\t\t1\n\n Number of primitives:\t\t2\n\n";

TEST_F(ProgramsTest, AValidSceneGetsNoWarning) {
    for (const char* program : {LUMORA_BIN, LUMORA_MT_BIN}) {
        const ProgramRun result = run(program, {"-i", "scene.lms", "-w", "8", "-h", "6"});
        EXPECT_EQ(result.exitStatus, 0);
        EXPECT_NE(result.output.find(kSummaryEnd), std::string::npos) << result.output;
        EXPECT_EQ(result.output.find("Warning"), std::string::npos) << result.output;
    }
}

TEST_F(ProgramsTest, WarningsFollowTheSummaryOnLinesOfTheirOwn) {
    dir_.write("dark.lms", minimalScene("surface { color 0 0 0 diffuse 1 }\n"
                                        "sphere { center <0 0 0> radius 1 }\n"));
    const ProgramRun result = run(LUMORA_BIN, {"-i", "dark.lms", "-r", "16", "4", "-pqs", "50"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_NE(result.output.find(
                  " Number of light(s):\t\t1\n"
                  "\n Defaulting priority queue size to 100"
                  "\n Warning: 1 object will render black: their surface's color is 0 0 0 and it"
                  " has no specular or reflection"
                  "\n Warning: the image is 16 x 4, a width/height of 4, but the camera's ratio is"
                  " 1.333: the picture will be stretched (give the camera the ratio 4, or the"
                  " image another size)"
                  "\n Number of primitives:\t\t1\n\n"),
              std::string::npos)
        << result.output;
}

TEST_F(ProgramsTest, AnOutputNameEndingWithTheFormatsExtensionKeepsIt) {
    const struct {
        std::vector<std::string> options;
        const char* file;
    } cases[] = {
        {{"-o", "pic.png", "-png"}, "pic.png"},
        {{"--ouput", "shot.ppm", "-ppm"}, "shot.ppm"},
        {{"--output", "pic.png", "-ppm"}, "pic.png.ppm"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments{"-i", "scene.lms", "-w", "8", "-h", "6"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ProgramRun result = run(LUMORA_BIN, arguments);
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_NE(result.output.find(std::string(" Rendering to: ") + c.file + "\n"),
                  std::string::npos)
            << result.output;
        EXPECT_TRUE(std::filesystem::is_regular_file(dir_.path() / c.file)) << c.file;
    }
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "pic.png.png"));
    EXPECT_FALSE(std::filesystem::exists(dir_.path() / "shot.ppm.ppm"));
}

// A red square facing a camera 5 units away, lit from the camera; the light adds its full
// diffuse share at the middle of the picture.
TEST_F(ProgramsTest, RendersAThreeDsModel) {
    using namespace chunk3ds;
    const Chunk model = chunk3ds::model({
        material("Red", byteColour(255, 0, 0)),
        mesh("Square", {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}}, {{0, 1, 2}, {0, 2, 3}},
             "Red"),
        camera("Camera", {0, -5, 0}, {0, 0, 0}, 50),
        light("Lamp", {0, -5, 0}, {floatColour(1, 1, 1)}),
    });
    dir_.write("square.3ds", model.bytes());
    dir_.write("square.lms",
               "{ input_name \"square.3ds\" output_type \"ppm\" output_name \"square\" }\n");

    std::string pictures[2];
    const char* programs[] = {LUMORA_BIN, LUMORA_MT_BIN};
    for (int p = 0; p < 2; ++p) {
        const ProgramRun result = run(programs[p], {"-3ds", "square.lms", "-r", "32", "24"});
        ASSERT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_NE(result.output.find("\n Reading square.3ds...\n Computing normals...\n"),
                  std::string::npos);
        EXPECT_NE(result.output.find("\n Number of primitives:\t\t2\n\n"), std::string::npos)
            << result.output;
        std::ifstream file(dir_.path() / "square.ppm", std::ios::binary);
        pictures[p].assign(std::istreambuf_iterator<char>(file), {});
    }
    EXPECT_EQ(pictures[0], pictures[1]);

    const std::string header = "P6\n32 24\n255\n";
    ASSERT_EQ(pictures[0].size(), header.size() + 32 * 24 * 3);
    const auto pixel = [&](int x, int y) {
        const std::size_t at = header.size() + (static_cast<std::size_t>(y) * 32 + x) * 3;
        return std::vector<int>{static_cast<unsigned char>(pictures[0][at]),
                                static_cast<unsigned char>(pictures[0][at + 1]),
                                static_cast<unsigned char>(pictures[0][at + 2])};
    };
    // Ambient 0.3 plus diffuse 0.375 of a light straight ahead: 0.675 of full red.
    const std::vector<int> middle = pixel(16, 12);
    EXPECT_NEAR(middle[0], 0.675 * 255, 1.5);
    EXPECT_EQ(middle[1], 0);
    EXPECT_EQ(middle[2], 0);
    EXPECT_EQ(pixel(0, 0), (std::vector<int>{0, 0, 0})) << "the background";

    // A damaged model ends the run with status 255 and says what is wrong.
    std::string damaged = model.bytes();
    damaged.resize(damaged.size() / 2);
    dir_.write("square.3ds", damaged);
    const ProgramRun broken = run(LUMORA_BIN, {"-3ds", "square.lms"});
    EXPECT_EQ(broken.exitStatus, 255);
    EXPECT_NE(broken.output.find(" Damaged 3DS file square.3ds: it ends at byte"),
              std::string::npos)
        << broken.output;
    EXPECT_TRUE(broken.output.ends_with(" An error occured while loading square.lms\n"));
}

// Renders model.3ds through a settings file with `keys` at 32 x 24 on both programs, which
// must agree, and returns the picture.
Picture renderModel(const TempDir& dir, const chunk3ds::Chunk& model, const std::string& keys) {
    dir.write("model.3ds", model.bytes());
    dir.write("model.lms", "{ input_name \"model.3ds\" output_type \"ppm\" output_name "
                           "\"model\" " + keys + " }\n");
    Picture pictures[2];
    const char* programs[] = {LUMORA_BIN, LUMORA_MT_BIN};
    for (int p = 0; p < 2; ++p) {
        const ProgramRun result =
            runProgram(programs[p], {"-3ds", "model.lms", "-r", "32", "24"}, dir.path());
        EXPECT_EQ(result.exitStatus, 0) << result.output;
        pictures[p] = readPpm(dir.path() / "model.ppm");
    }
    EXPECT_EQ(pictures[0].pixels, pictures[1].pixels);
    return pictures[0];
}

// Pixels that are not the black background.
int litPixels(const Picture& picture) {
    int lit = 0;
    for (std::size_t i = 0; i < picture.pixels.size(); i += 3) {
        lit += picture.pixels[i] + picture.pixels[i + 1] + picture.pixels[i + 2] > 0;
    }
    return lit;
}

// A complete model looks the same with or without the keys that stand in for a camera or a
// light; a light whose colour is given as bytes shines as its float twin.
TEST_F(ProgramsTest, ThreeDsKeysLeaveCompleteModelsAsTheyWere) {
    using namespace chunk3ds;
    const auto square = [](const Chunk& lampColour) {
        return chunk3ds::model({
            material("Red", byteColour(255, 0, 0)),
            mesh("Square", {{-1, 0, -1}, {1, 0, -1}, {1, 0, 1}, {-1, 0, 1}},
                 {{0, 1, 2}, {0, 2, 3}}, "Red"),
            camera("Camera", {0, -5, 0}, {0, 0, 0}, 50),
            light("Lamp", {-2, -5, 1}, {lampColour}),
        });
    };
    const Picture plain = renderModel(dir_, square(floatColour(1, 1, 1)), "");
    ASSERT_EQ(plain.pixels.size(), 32u * 24 * 3);
    EXPECT_EQ(renderModel(dir_, square(floatColour(1, 1, 1)),
                          "frame \"yes\" headlight \"yes\"").pixels,
              plain.pixels);
    EXPECT_EQ(renderModel(dir_, square(byteColour(255, 255, 255)), "").pixels,
              plain.pixels);
}

// A square of side 2 at the origin in the plane z = 0, with no camera, light or material: grey
// (0.6) in the ambient light (0.3) alone from the default camera, where it is a speck; framed
// it fills the picture, and a headlight at the camera adds its diffuse share (0.375) at the
// angle between the square's normal and the direction (1, 1, 1) of the camera: 1 / sqrt(3).
TEST_F(ProgramsTest, FrameAndHeadlightMakeABareModelVisible) {
    using namespace chunk3ds;
    const Chunk bare = chunk3ds::model(
        {mesh("Square", {{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {{0, 1, 2}, {0, 2, 3}})});
    const auto middle = [](Picture& picture) {
        const unsigned char* pixel = picture.row(12) + 3 * 16;
        return std::vector<int>{pixel[0], pixel[1], pixel[2]};
    };
    Picture preset = renderModel(dir_, bare, "");
    ASSERT_EQ(preset.pixels.size(), 32u * 24 * 3);
    const int grey = static_cast<int>(0.6 * 0.3 * 255);  // pixels truncate: 45.9 gives 45
    EXPECT_EQ(middle(preset), (std::vector<int>{grey, grey, grey}));
    EXPECT_LT(litPixels(preset), 32 * 24 / 50);

    Picture framed = renderModel(dir_, bare, "frame \"yes\" headlight \"yes\"");
    ASSERT_EQ(framed.pixels.size(), 32u * 24 * 3);
    const double lit = 0.6 * (0.3 + 0.375 / std::sqrt(3.0)) * 255;
    for (const int channel : middle(framed)) EXPECT_NEAR(channel, lit, 1.5);
    EXPECT_GT(litPixels(framed), 32 * 24 / 10);
    EXPECT_LT(litPixels(framed), 32 * 24);
}

// The model is found beside its settings file, and brings its own camera and lights.
TEST_F(ProgramsTest, ShippedThreeDsExampleRenders) {
    const std::string settings = std::string(LUMORA_EXAMPLES_DIR) + "/torus.lms";
    const ProgramRun result =
        run(LUMORA_BIN, {"-3ds", settings, "-w", "16", "-h", "12", "-aan", "-ppm"});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find("torus.3ds...\n Computing normals...\n"), std::string::npos)
        << result.output;
    EXPECT_EQ(result.output.find(" No "), std::string::npos) << result.output;
    EXPECT_TRUE(std::filesystem::exists(dir_.path() / "torus.ppm"));
}

TEST_F(ProgramsTest, ShippedExamplesParse) {
    const std::string example = std::string(LUMORA_EXAMPLES_DIR) + "/spheres.lms";
    const ProgramRun result = run(LUMORA_BIN, {"-i", example, "-w", "16", "-h", "12", "-ppm"});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find(" Number of light(s):\t\t2\n"), std::string::npos);
}

}  // namespace
