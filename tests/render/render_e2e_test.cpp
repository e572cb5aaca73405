// Whole renders by the built programs: pixels of small scenes checked against the shading
// formulas worked by hand, the threaded program against the single-threaded one, and the ways
// a render can fail.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace {

struct Render {
    ProgramRun run;
    Picture picture;
};

// Renders `scene` to out.ppm in a fresh directory.
Render render(const std::string& program, const std::string& scene,
              std::vector<std::string> arguments = {}) {
    const TempDir dir;
    dir.write("scene.lms", scene);
    arguments.insert(arguments.begin(), {"-i", "scene.lms", "-ppm", "-o", "out"});
    Render result{runProgram(program, arguments, dir.path()), {}};
    result.picture = readPpm(dir.path() / "out.ppm");
    return result;
}

// The byte a colour component becomes: clamped to 1 by the tracer, then scaled and truncated.
int toByte(double component) {
    return static_cast<int>(std::fmin(component, 1.0) * 255);
}

// What the light block stores for a full cone angle in degrees.
double cosineOfHalfAngle(double degrees) {
    return std::cos(degrees * 0.5 * std::numbers::pi / 180);
}

std::string settings(const std::string& extra = "") {
    return "settings { output_type \"ppm\" output_name \"out\" resolution 1 1 " + extra + " }\n";
}

// The eye at (0, -5, 0) looks along +y at the plane y = 0, which faces it: the one pixel's ray
// hits the origin at distance 5, with the normal (0, -1, 0) and the mirror ray along -y.
const std::string kCameraOnPlane = "camera { position <0 -5 0> look_at <0 0 0> }\n";
const std::string kPlane = "plane { normal <0 -1 0> distance 0 }\n";

// Seen from the origin, a light at (0, -3, 4) lies 5 away along (0, -0.6, 0.8): cosθ = 0.6
// with the normal and 0.6 with the mirror ray. One at (0, -1.5, 2) lies 2.5 away, same angles.
constexpr double kCos = 0.6;

struct PixelCase {
    const char* what;
    std::string scene;
    double r, g, b;  // the colour worked out from the scene's numbers
};

void expectSinglePixel(const PixelCase& c) {
    SCOPED_TRACE(c.what);
    const Render result = render(LUMORA_BIN, c.scene);
    ASSERT_EQ(result.run.exitStatus, 0) << result.run.output;
    ASSERT_EQ(result.picture.pixels.size(), 3u) << result.run.output;
    EXPECT_EQ(result.picture.pixels[0], toByte(c.r));
    EXPECT_EQ(result.picture.pixels[1], toByte(c.g));
    EXPECT_EQ(result.picture.pixels[2], toByte(c.b));
}

TEST(RenderPixels, AmbientDiffuseAndBrilliance) {
    // A white light 5 away, unattenuated, on a surface (1, 0.5, 0.25) with ambient 0.1 and
    // diffuse 0.7; f is the cosine term that the brilliance makes of cosθ.
    const auto lit = [](const char* what, const std::string& brilliance, double f) {
        return PixelCase{what,
                         settings() + kCameraOnPlane +
                             "light { position <0 -3 4> color 1 1 1 attenuation_type \"none\" }\n" +
                             "surface { color 1 0.5 0.25 ambient 0.1 diffuse 0.7 " + brilliance +
                             " }\n" + kPlane,
                         0.1 * 1 + 0.7 * 1 * f, 0.1 * 0.5 + 0.7 * 0.5 * f,
                         0.1 * 0.25 + 0.7 * 0.25 * f};
    };
    const PixelCase cases[] = {
        {"ambient only, no light",
         settings() + kCameraOnPlane + "surface { color 0.6 0.4 0.2 ambient 0.5 }\n" + kPlane,
         0.5 * 0.6, 0.5 * 0.4, 0.5 * 0.2},
        lit("Lambert", "", kCos),
        lit("brilliance 1 is Lambert", "brilliance 1", kCos),
        lit("brilliance 0.5 is Lambert", "brilliance 0.5", kCos),
        lit("brilliance 3", "brilliance 3", std::pow(kCos, 3)),
    };
    for (const PixelCase& c : cases) expectSinglePixel(c);
}

TEST(RenderPixels, SpecularHighlight) {
    const PixelCase cases[] = {
        // Without diffuse light the highlight takes the light unattenuated, 5 away.
        {"specular alone",
         settings() + kCameraOnPlane + "light { position <0 -3 4> color 0.8 0.6 0.4 }\n" +
             "surface { color 1 1 1 ambient 0.1 specular 0.5 roughness 2 }\n" + kPlane,
         0.1 + 0.8 * 0.5 * std::pow(kCos, 2), 0.1 + 0.6 * 0.5 * std::pow(kCos, 2),
         0.1 + 0.4 * 0.5 * std::pow(kCos, 2)},
        // With it, the highlight takes the light as the diffuse step attenuated it: 1 / 2.5.
        {"specular after diffuse",
         settings() + kCameraOnPlane +
             "light { position <0 -1.5 2> color 1 1 1 attenuation_type \"d\" }\n" +
             "surface { color 0.5 0.5 0.5 diffuse 1 specular 0.5 roughness 2 }\n" + kPlane,
         0.5 * 0.4 * kCos + 0.4 * 0.5 * std::pow(kCos, 2),
         0.5 * 0.4 * kCos + 0.4 * 0.5 * std::pow(kCos, 2),
         0.5 * 0.4 * kCos + 0.4 * 0.5 * std::pow(kCos, 2)},
    };
    for (const PixelCase& c : cases) expectSinglePixel(c);
}

// A light 2.5 away fades only when r + g + b/3 exceeds 1.
TEST(RenderPixels, AttenuationOfBrightLightsOnly) {
    const struct {
        const char* what;
        double r, g, b;
        const char* type;
        double factor;
    } cases[] = {
        {"white, none", 1, 1, 1, "none", 1},
        {"white, d", 1, 1, 1, "d", 1 / 2.5},
        {"white, d2", 1, 1, 1, "d2", 1 / (2.5 * 2.5)},
        {"grey 0.5 weighs 1.17 and fades", 0.5, 0.5, 0.5, "d2", 1 / (2.5 * 2.5)},
        {"(0.25, 0.5, 0.75) weighs exactly 1 and keeps its strength", 0.25, 0.5, 0.75, "d2", 1},
        {"(0.2, 0.2, 1.5) weighs 0.9 and keeps its strength", 0.2, 0.2, 1.5, "d2", 1},
    };
    for (const auto& c : cases) {
        std::ostringstream light;
        light << "light { position <0 -1.5 2> color " << c.r << ' ' << c.g << ' ' << c.b
              << " attenuation_type \"" << c.type << "\" }\n";
        expectSinglePixel({c.what,
                           settings() + kCameraOnPlane + light.str() +
                               "surface { color 1 1 1 diffuse 1 }\n" + kPlane,
                           1 * (c.r * c.factor) * kCos, 1 * (c.g * c.factor) * kCos,
                           1 * (c.b * c.factor) * kCos});
    }
}

// A spot 4 above the origin aimed at (0, 0, 3): the origin lies at cosA = 0.8 off its axis.
// The surface gets ambient 0.1, diffuse 0.5 and a full highlight (the light is on the mirror
// ray), both scaled by the spot factor.
TEST(RenderPixels, SpotLightCones) {
    const struct {
        const char* what;
        double minAngle, maxAngle;
        double factor;  // negative: outside the outer cone
    } cases[] = {
        {"inside the inner cone", 80, 100, 1},
        {"between the cones", 60, 90,
         (0.8 - cosineOfHalfAngle(90)) / (cosineOfHalfAngle(60) - cosineOfHalfAngle(90))},
        {"outside the outer cone", 40, 60, -1},
    };
    for (const auto& c : cases) {
        std::ostringstream light;
        light << "light { light_type \"spot\" position <0 -4 0> target <0 0 3> color 1 1 1"
              << " attenuation_type \"none\" min_angle " << c.minAngle << " max_angle "
              << c.maxAngle << " }\n";
        const double lit = c.factor < 0 ? 0.1 : 0.1 + 0.5 * c.factor + c.factor * 0.3;
        expectSinglePixel(
            {c.what,
             settings() + kCameraOnPlane + light.str() +
                 "surface { color 1 1 1 ambient 0.1 diffuse 0.5 specular 0.3 roughness 1 }\n" +
                 kPlane,
             lit, lit, lit});
    }
}

TEST(RenderPixels, MirrorHazeAndBackground) {
    const std::string backPlane = "plane { normal <0 1 0> distance -10 }\n";  // behind the eye
    const std::string haze = "haze_factor 0.1 haze_color 0.3 0.6 0.9";
    // Lambert with a light 2.5 away, blended with the haze over the ray's 5, not the light's 2.5.
    const double w = 1 - std::pow(1 - 0.1, 5);
    const auto hazed = [w](double color, double hazeColor) {
        return w * hazeColor + (1 - w) * (0.1 * color + 0.7 * color * kCos);
    };
    const PixelCase cases[] = {
        {"mirror",
         settings() + kCameraOnPlane +
             "surface { color 0.2 0.2 0.2 ambient 0.1 reflection 0.6 }\n" + kPlane +
             "surface { color 0.9 0.5 0.1 ambient 1 }\n" + backPlane,
         0.1 * 0.2 + 0.6 * 0.9, 0.1 * 0.2 + 0.6 * 0.5, 0.1 * 0.2 + 0.6 * 0.1},
        {"haze over the hit distance",
         settings(haze) + kCameraOnPlane +
             "light { position <0 -1.5 2> color 1 1 1 attenuation_type \"none\" }\n" +
             "surface { color 1 0.5 0.25 ambient 0.1 diffuse 0.7 }\n" + kPlane,
         hazed(1, 0.3), hazed(0.5, 0.6), hazed(0.25, 0.9)},
        {"background past a plane seen from behind",
         settings("background 0.2 0.4 0.6") + kCameraOnPlane +
             "surface { color 1 1 1 ambient 1 }\n" + "plane { normal <0 1 0> distance 0 }\n",
         0.2, 0.4, 0.6},
        {"haze instead of the background",
         settings("background 0.2 0.4 0.6 " + haze) + kCameraOnPlane +
             "surface { color 1 1 1 ambient 1 }\n" + "plane { normal <0 1 0> distance 0 }\n",
         0.3, 0.6, 0.9},
        {"empty scene",
         settings("background 0.2 0.4 0.6") + kCameraOnPlane +
             "surface { color 1 1 1 ambient 1 }\n",
         0.2, 0.4, 0.6},
        {"empty scene with haze",
         settings("background 0.2 0.4 0.6 " + haze) + kCameraOnPlane +
             "surface { color 1 1 1 ambient 1 }\n",
         0.3, 0.6, 0.9},
    };
    for (const PixelCase& c : cases) expectSinglePixel(c);
}

// The eye looks along +y at x = 0.5 past the centre of a glass ball of radius 1: it meets the
// ball at an incidence of 30° (sin = 0.5). Entering bends the ray towards the normal
// (sin = 0.5 / 1.5), so it crosses a chord of 2 cos of that angle, and what it brings back is
// filtered by the surface colour raised to the chord's length. Where it leaves, only the
// background lies ahead, whichever way it bends there.
TEST(RenderPixels, RefractionWithAbsorption) {
    const double chord = 2 * std::sqrt(1 - (0.5 / 1.5) * (0.5 / 1.5));
    const double color[] = {0.9, 0.7, 0.5};
    const double background[] = {0.2, 0.6, 1.0};
    double expected[3];
    for (int k = 0; k < 3; ++k) {
        // At the exit point: ambient, plus the background let through without absorption.
        const double leaving = std::fmin(0.1 * color[k] + 0.8 * background[k], 1.0);
        expected[k] = 0.1 * color[k] + 0.8 * (std::pow(color[k], chord) * leaving);
    }
    expectSinglePixel(
        {"glass ball",
         settings("background 0.2 0.6 1") +
             "camera { position <0.5 -5 0> look_at <0.5 0 0> }\n"
             "surface { color 0.9 0.7 0.5 ambient 0.1 refraction 0.8 refraction_index 1.5 }\n"
             "sphere { center <0 0 0> radius 1 }\n",
         expected[0], expected[1], expected[2]});
}

// Spheres and planes with sharp and spot lights, a mirror and glass; with `random`, also a
// soft light, a fuzzy mirror, depth of field and jitter, which all draw random numbers.
std::string busyScene(int width, int height, bool random = false) {
    const std::string randomParts =
        "light { position <-3 -6 5> color 0.4 0.4 0.4 attenuation_type \"none\""
        " shadow_type \"smooth\" radius 1 samples 6 }\n"
        "surface { color 0.7 0.7 0.2 ambient 0.1 diffuse 0.3 reflection 0.5"
        " reflection_type \"fuzzy\" reflection_samples 3 reflection_radius 0.3 }\n"
        "sphere { center <0 2 0.6> radius 0.6 }\n";
    return "settings { output_type \"ppm\" output_name \"out\" resolution " +
           std::to_string(width) + " " + std::to_string(height) +
           " background 0.1 0.1 0.3" + (random ? " jitter \"yes\"" : "") + " }\n" +
           (random ? "camera { position <0 -8 3> look_at <0 0 0.5> aperture 0.1 samples 3"
                     " focal_length 8 }\n" + randomParts
                   : "camera { position <0 -8 3> look_at <0 0 0.5> }\n") +
           "light { position <5 -5 8> color 1 1 1 }\n"
           "light { light_type \"spot\" position <-4 -4 6> target <0 0 0> color 0.8 0.8 0.6"
           " attenuation_type \"none\" min_angle 20 max_angle 40 }\n"
           "surface { color 0.9 0.2 0.2 ambient 0.1 diffuse 0.7 specular 0.6 roughness 30 }\n"
           "sphere { center <-1.2 0 1> radius 1 }\n"
           "surface { color 0.8 0.9 1 ambient 0.05 diffuse 0.1 refraction 0.8"
           " refraction_index 1.4 }\n"
           "sphere { center <1.2 0.5 1> radius 1 }\n"
           "surface { color 0.6 0.6 0.6 ambient 0.1 diffuse 0.5 reflection 0.4 }\n"
           "plane { normal <0 0 1> distance 0 }\n"
           "surface { color 0.2 0.8 0.2 ambient 0.2 diffuse 0.6 brilliance 4 }\n"
           "plane { normal <0 -1 0> distance -6 }\n";
}

// Every sample draws its random numbers from a stream of its own, so neither the thread
// count nor the order in which threads finish their rows changes a byte, randomness or not.
TEST(RenderThreads, BandsWriteTheSameBytesAsOneThread) {
    const std::vector<std::vector<std::string>> modes = {{"-aan"}, {"-aaq"}, {"-aaa", "8"}};
    for (const bool random : {false, true}) {
        SCOPED_TRACE(random ? "random" : "deterministic");
        const std::string scene = busyScene(24, 37, random);  // 37 rows: no thread count divides
        for (const auto& mode : modes) {
            SCOPED_TRACE(mode.front());
            const Render single = render(LUMORA_BIN, scene, mode);
            ASSERT_EQ(single.run.exitStatus, 0) << single.run.output;
            ASSERT_EQ(single.picture.pixels.size(), 24u * 37 * 3);
            EXPECT_TRUE(render(LUMORA_BIN, scene, mode).picture.pixels == single.picture.pixels);
            for (const char* threads : {"2", "4", "8"}) {
                SCOPED_TRACE(threads);
                std::vector<std::string> arguments = mode;
                arguments.insert(arguments.end(), {"-t", threads});
                const Render multi = render(LUMORA_MT_BIN, scene, arguments);
                ASSERT_EQ(multi.run.exitStatus, 0) << multi.run.output;
                EXPECT_TRUE(multi.picture.pixels == single.picture.pixels);
            }
        }
    }
}

// "--stats" counts the rays of a scene worked by hand: every pixel of a 4 x 3 picture sees
// a mirror plane lit by one sharp light, so each primary ray makes one shadow ray and one
// reflected ray, which escapes towards the camera's side.
TEST(RenderStatistics, CountsRaysAndReportsTheHierarchy) {
    const std::string scene = settings() +
                              "camera { position <0 -5 0> look_at <0 0 0> fov 20 }\n"
                              "light { position <0 -3 4> color 1 1 1 }\n"
                              "surface { ambient 0.2 diffuse 0.5 reflection 0.5 }\n" +
                              kPlane + "sphere { center <0 9 0> radius 1 }\n";
    for (const char* program : {LUMORA_BIN, LUMORA_MT_BIN}) {
        SCOPED_TRACE(program);
        const Render result = render(program, scene, {"-r", "4", "3", "--stats"});
        ASSERT_EQ(result.run.exitStatus, 0) << result.run.output;
        const std::string& output = result.run.output;
        const auto time = output.find(" Rendering time: ");
        const auto statistics = output.find(
            "\n Statistics\n"
            "  primary rays:           12\n"
            "  shadow rays:            12\n"
            "  reflected rays:         12\n"
            "  refracted rays:         0\n"
            "  hierarchy nodes:        1 composites, 2 primitives, depth 1\n"
            "  queue high-water mark:  ");
        ASSERT_NE(statistics, std::string::npos) << output;
        EXPECT_LT(time, statistics);
        EXPECT_TRUE(std::regex_search(
            output, std::regex("  parse time: +[0-9]+\\.[0-9]{3} s\n"
                               "  hierarchy time: +[0-9]+\\.[0-9]{3} s\n"
                               "  render time: +[0-9]+\\.[0-9]{3} s\n"
                               "  write time: +[0-9]+\\.[0-9]{3} s\n"
                               "  peak memory: +[0-9]+\\.[0-9] MB\n$")))
            << output;
    }
}

TEST(RenderThreads, ReportsItsBandsAndTheTime) {
    const Render multi = render(LUMORA_MT_BIN, busyScene(8, 100), {"-t", "8"});
    ASSERT_EQ(multi.run.exitStatus, 0) << multi.run.output;
    const std::string& output = multi.run.output;
    const auto warning = output.find(
        " Warning the height and the number of threads are incompatible.\n"
        " The number of threads must be a multiplier of the height.\n");
    const auto running = output.find(" Running 8 threads\n");
    ASSERT_NE(warning, std::string::npos) << output;
    ASSERT_NE(running, std::string::npos) << output;
    EXPECT_LT(warning, running);
    EXPECT_NE(output.find(" Multi-threaded version of LUMORA running.\n"), std::string::npos);
    EXPECT_TRUE(std::regex_search(output, std::regex("\n\n Rendering time: +[0-9]+\\.[0-9]{2} "
                                                     "second\\(s\\)\n$")))
        << output;
    EXPECT_EQ(multi.picture.pixels, render(LUMORA_BIN, busyScene(8, 100)).picture.pixels);
}

// A row of 400 spheres along x, beside a narrow camera that looks along y. Every ray of a
// one-pixel-wide image has no x component, so the x slabs bound nothing: every box lies ahead
// and must be opened, and as no sphere is hit nothing cuts the search short. With radii that
// differ, composites leave the queue before most of their spheres and the queue fills up.
std::string crowdedScene() {
    std::string scene =
        "settings { output_type \"ppm\" output_name \"out\" resolution 1 8"
        " background 0.2 0.4 0.6 }\n"
        "camera { position <0 -5 0> look_at <0 0 0> fov 1 }\n"
        "surface { color 1 1 1 ambient 0.5 }\n";
    for (int i = 0; i < 400; ++i) {
        std::ostringstream sphere;
        sphere << "sphere { center <" << 10 + i << " 0 0> radius " << 0.3 + (i * 7 % 17) / 40.0
               << " }\n";
        scene += sphere.str();
    }
    return scene;
}

// "-pqs" sets only the queue's starting size: a render that keeps more candidates alive
// than it holds (it used to end with status 1 and no picture) grows the queue and completes.
TEST(RenderQueue, ACrowdedQueueGrowsAndTheRenderCompletes) {
    const std::string scene = crowdedScene();
    const struct {
        const char* program;
        std::vector<std::string> arguments;
    } runs[] = {
        {LUMORA_BIN, {"-pqs", "101", "--stats"}},
        {LUMORA_MT_BIN, {"-pqs", "101", "-t", "4", "--stats"}},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.program);
        const Render result = render(r.program, scene, r.arguments);
        EXPECT_EQ(result.run.exitStatus, 0) << result.run.output;
        EXPECT_EQ(result.run.output.find("out of space"), std::string::npos);
        std::smatch mark;
        ASSERT_TRUE(std::regex_search(result.run.output, mark,
                                      std::regex("queue high-water mark: +([0-9]+)\n")))
            << result.run.output;
        EXPECT_GT(std::stoi(mark[1]), 101);  // more than the starting size ever held
        ASSERT_EQ(result.picture.pixels.size(), 8u * 3);
        for (std::size_t i = 0; i < result.picture.pixels.size(); i += 3) {
            EXPECT_EQ(result.picture.pixels[i], toByte(0.2));
            EXPECT_EQ(result.picture.pixels[i + 1], toByte(0.4));
            EXPECT_EQ(result.picture.pixels[i + 2], toByte(0.6));
        }
    }
}

TEST(RenderFailures, UnwritableOutputStopsBeforeRendering) {
    const TempDir dir;
    dir.write("scene.lms", settings() + kCameraOnPlane + "surface { ambient 1 }\n" + kPlane);
    for (const char* program : {LUMORA_BIN, LUMORA_MT_BIN}) {
        SCOPED_TRACE(program);
        const ProgramRun run =
            runProgram(program, {"-i", "scene.lms", "-o", "missing/dir/out"}, dir.path());
        EXPECT_NE(run.exitStatus, 0);
        EXPECT_NE(run.output.find("missing/dir/out"), std::string::npos) << run.output;
        EXPECT_EQ(run.output.find("Rendering time"), std::string::npos) << run.output;
    }
}

}  // namespace
