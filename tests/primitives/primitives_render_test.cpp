// Every kind of primitive in whole renders: the shipped example shows each object where the
// camera projects it, and a smooth mesh renders the same on any number of threads.

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

// The example's camera: at (0, -14, 1.5) looking along +y, so a point (x, 0, z) of the plane
// y = 0 is seen along (x / 14, 1, (z - 1.5) / 14).
constexpr int kWidth = 640;
constexpr int kHeight = 360;
constexpr double kDistance = 14;
constexpr double kEyeHeight = 1.5;
const double kHalfFov = 62 * 0.5 * std::numbers::pi / 180;
const double kFrustumWidth = std::tan(kHalfFov);
const double kFrustumHeight = std::tan(kHalfFov / 1.7778);  // the angle over the ratio

struct Pixel {
    int column;
    int row;
};

// The pixel whose centre sample looks at (x, 0, z).
Pixel project(double x, double z) {
    const double u = x / kDistance;
    const double v = (z - kEyeHeight) / kDistance;
    const double px = (u / kFrustumWidth + 1) * kWidth / 2;
    const double py = (1 - v / kFrustumHeight) * kHeight / 2;
    return {static_cast<int>(px), static_cast<int>(py)};
}

enum class Hue { kRed, kOrange, kYellow, kGreen, kTeal, kBlue, kPurple, kPink, kBackground };

// The channel order each surface colour of the example keeps under its nearly white lights.
bool looksLike(Hue hue, int r, int g, int b) {
    switch (hue) {
        case Hue::kRed:
            return r > 2 * g && r > 2 * b;
        case Hue::kOrange:
            return r > g && g > b && g > 2 * b;
        case Hue::kYellow:
            return r >= g && g > 2 * b;
        case Hue::kGreen:
            return g > r && g > b;
        case Hue::kTeal:
            return g > 2 * r && b > 2 * r;
        case Hue::kBlue:
            return b > r && b > g;
        case Hue::kPurple:
            return b > r && r > g;
        case Hue::kPink:
            return r > b && b > g;
        case Hue::kBackground:
            return r < 40 && g < 40 && b < 60;
    }
    return false;
}

TEST(PrimitivesRender, EveryObjectOfTheExampleStandsWhereTheCameraProjectsIt) {
    const TempDir dir;
    const std::string example = std::string(LUMORA_EXAMPLES_DIR) + "/primitives.lms";
    const ProgramRun run =
        runProgram(LUMORA_BIN, {"-i", example, "-aan", "-ppm", "-o", "prims"}, dir.path());
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    for (const char* count : {"sphere(s):\t\t1", "ring(s):\t\t1", "plane(s):\t\t1", "cone(s):\t\t1",
                              "cylinder(s):\t\t1", "disc(s):\t\t1", "polygon(s):\t\t1",
                              "triangle(s):\t\t1", "patch(es):\t\t1"}) {
        EXPECT_NE(run.output.find(std::string(" Number of ") + count), std::string::npos) << count;
    }
    const Picture picture = readPpm(dir.path() / "prims.ppm");
    ASSERT_EQ(picture.width, kWidth);
    ASSERT_EQ(picture.height, kHeight);

    const struct {
        const char* object;
        double x, z;
        Hue hue;
    } cases[] = {
        {"sphere", -6, 1.5, Hue::kRed},
        {"disc", -4.2, 1.5, Hue::kOrange},
        {"ring", -1.8, 1.5, Hue::kYellow},
        {"the hole of the ring", -2.4, 1.5, Hue::kBackground},
        {"cylinder", -0.6, 1.5, Hue::kGreen},
        {"above the open cylinder", -0.6, 2.5, Hue::kBackground},
        {"cone", 1.2, 1.2, Hue::kTeal},
        {"centre of the star", 3.0, 1.5, Hue::kBlue},
        {"between two points of the star", 3.45, 2.0, Hue::kBackground},
        {"triangle", 4.8, 1.2, Hue::kPurple},
        {"smooth triangle", 6.6, 1.2, Hue::kPink},
    };
    for (const auto& c : cases) {
        const Pixel p = project(c.x, c.z);
        const std::size_t at = 3 * (static_cast<std::size_t>(p.row) * kWidth + p.column);
        const int r = picture.pixels[at], g = picture.pixels[at + 1], b = picture.pixels[at + 2];
        EXPECT_TRUE(looksLike(c.hue, r, g, b)) << c.object << " at pixel (" << p.column << ", "
                                               << p.row << ") is " << r << ", " << g << ", " << b;
    }
}

// A ball of smooth triangles: a latitude-longitude grid whose vertex normals point outwards.
std::string smoothBall(int segments, int rings) {
    const auto vertex = [&](int i, int j) {
        const double a = 2 * std::numbers::pi * i / segments;
        const double e = std::numbers::pi * (static_cast<double>(j) / rings - 0.5);
        std::ostringstream text;
        const double x = std::cos(e) * std::cos(a), y = std::cos(e) * std::sin(a), z = std::sin(e);
        text << "vertex <" << x << ' ' << y << ' ' << z << "> normal <" << x << ' ' << y << ' ' << z
             << "> ";
        return text.str();
    };
    std::string mesh;
    for (int j = 0; j < rings; ++j) {
        for (int i = 0; i < segments; ++i) {
            // The poles' degenerate halves are left out.
            if (j > 0)
                mesh += "smooth_triangle { " + vertex(i, j) + vertex(i + 1, j) +
                        vertex(i + 1, j + 1) + "}\n";
            if (j < rings - 1)
                mesh += "patch { " + vertex(i, j) + vertex(i + 1, j + 1) + vertex(i, j + 1) + "}\n";
        }
    }
    return mesh;
}

TEST(PrimitivesRender, SmoothMeshIsTheSameOnEveryNumberOfThreads) {
    const TempDir dir;
    dir.write("ball.lms",
              "settings { output_type \"ppm\" output_name \"ball\" display 48 37 }\n"
              "camera { position <0 -4 1> look_at <0 0 0> ratio 1.3 }\n"
              "light { position <-3 -4 5> color 1 1 1 attenuation_type \"none\" }\n"
              "surface { color 0.8 0.5 0.2 ambient 0.1 diffuse 0.7 specular 0.5 roughness 20\n"
              "          reflection 0.2 }\n"
              "plane { normal <0 0 1> distance -1 }\n" +
                  smoothBall(24, 12));
    for (const char* mode : {"-aan", "-aaq"}) {
        SCOPED_TRACE(mode);
        const ProgramRun single =
            runProgram(LUMORA_BIN, {"-i", "ball.lms", mode, "-o", "one"}, dir.path());
        ASSERT_EQ(single.exitStatus, 0) << single.output;
        const Picture reference = readPpm(dir.path() / "one.ppm");
        ASSERT_EQ(reference.pixels.size(), 48u * 37 * 3);
        for (const char* threads : {"2", "4", "8"}) {
            const ProgramRun multi = runProgram(
                LUMORA_MT_BIN, {"-i", "ball.lms", mode, "-t", threads, "-o", "many"}, dir.path());
            ASSERT_EQ(multi.exitStatus, 0) << multi.output;
            EXPECT_EQ(readPpm(dir.path() / "many.ppm").pixels, reference.pixels)
                << threads << " threads";
        }
    }
    const ProgramRun adaptive =
        runProgram(LUMORA_BIN, {"-i", "ball.lms", "-aaa", "8", "-o", "one"}, dir.path());
    const ProgramRun adaptiveMt = runProgram(
        LUMORA_MT_BIN, {"-i", "ball.lms", "-aaa", "8", "-t", "8", "-o", "many"}, dir.path());
    ASSERT_EQ(adaptive.exitStatus, 0);
    ASSERT_EQ(adaptiveMt.exitStatus, 0);
    EXPECT_EQ(readPpm(dir.path() / "many.ppm").pixels, readPpm(dir.path() / "one.ppm").pixels);
}

// A wavy sheet of 3,200 flat triangles over [-4, 4] x [-4, 4], steep enough that neighbouring
// faces are projected onto different coordinate planes: the slopes reach 1.5.
std::string wavyGrid(const char* block) {
    constexpr int kCells = 40;
    const auto vertex = [](int i, int j) {
        const double x = -4 + 8.0 * i / kCells;
        const double y = -4 + 8.0 * j / kCells;
        std::ostringstream text;
        text.precision(17);
        text << "vertex <" << x << ' ' << y << ' ' << 0.6 * std::sin(2.5 * x) * std::cos(2.5 * y)
             << "> ";
        return text.str();
    };
    std::string grid;
    for (int j = 0; j < kCells; ++j) {
        for (int i = 0; i < kCells; ++i) {
            grid += std::string(block) + " { " + vertex(i, j) + vertex(i + 1, j) +
                    vertex(i + 1, j + 1) + "}\n";
            grid += std::string(block) + " { " + vertex(i, j) + vertex(i + 1, j + 1) +
                    vertex(i, j + 1) + "}\n";
        }
    }
    return grid;
}

// Seen from above over a blue background with a yellow surface that needs no light, every
// pixel of the sheet is yellow: a blue one is a ray that slipped between two faces.
TEST(PrimitivesRender, AWavySheetOfFlatTrianglesHasNoPinHoles) {
    const TempDir dir;
    const struct {
        const char* camera;
        int width, height;
    } cases[] = {
        {"position <0 0 10> look_at <0 0 0> up <0 1 0>", 400, 400},
        {"position <0 0 10> look_at <0 0 0> up <0 1 0>", 317, 293},
        {"position <1.3 -2.1 8> look_at <0.3 0.2 0> up <0 1 0>", 400, 400},
        {"position <-2 1.5 9> look_at <-0.2 0.1 0> up <1 0.3 0>", 512, 448},
    };
    const std::string sheet = wavyGrid("triangle");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.camera);
        SCOPED_TRACE(c.width);
        dir.write("sheet.lms",
                  "settings { output_type \"ppm\" output_name \"sheet\" background 0 0 1 }\n"
                  "camera { " +
                      std::string(c.camera) +
                      " fov 32 ratio 1 }\n"
                      "light { position <0 0 20> color 1 1 1 }\n"
                      "surface { color 1 1 0 ambient 1 }\n" +
                      sheet);
        const ProgramRun run = runProgram(LUMORA_BIN,
                                          {"-i", "sheet.lms", "-aan", "-r", std::to_string(c.width),
                                           std::to_string(c.height)},
                                          dir.path());
        ASSERT_EQ(run.exitStatus, 0) << run.output;
        EXPECT_NE(run.output.find(" Number of triangle(s):\t\t3200"), std::string::npos);
        const Picture picture = readPpm(dir.path() / "sheet.ppm");
        ASSERT_EQ(picture.width, c.width);
        ASSERT_EQ(picture.height, c.height);
        int holes = 0;
        for (std::size_t at = 0; at < picture.pixels.size(); at += 3) {
            if (picture.pixels[at + 2] > picture.pixels[at]) ++holes;
        }
        EXPECT_EQ(holes, 0);
    }
}

}  // namespace
