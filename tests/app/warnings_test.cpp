#include "app/warnings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/globals.h"
#include "test_support.h"

namespace {

class WarningsTest : public SceneTest {
  protected:
    // The warnings of a parsed scene rendered at the size its settings give.
    std::vector<std::string> warningsOf(const std::string& scene) {
        const Outcome outcome = parseSceneText(scene);
        EXPECT_FALSE(outcome.exited) << outcome.output;
        EXPECT_EQ(outcome.status, 0) << outcome.output;
        return sceneWarnings();
    }
};

// Camera, settings (320 x 240, the camera's 4:3) and a light beside the objects, with no
// surface: each case brings its own.
std::string sceneWith(const std::string& body) {
    return "settings { output_type \"ppm\" output_name \"out\" }\n"
           "camera { position <0 -5 0> look_at <0 0 0> }\n"
           "light { position <0 -5 5> color 1 1 1 }\n" +
           body;
}

const std::string kBeforeAnySurface =
    " Warning: 1 object will render black: they come before any surface block, or their "
    "surface block sets nothing";
const std::string kBlackColor =
    " Warning: 1 object will render black: their surface's color is 0 0 0 and it has no "
    "specular or reflection";
const std::string kNoCoefficient =
    " Warning: 1 object will render black: their surface's ambient, diffuse, specular, "
    "reflection and refraction are all 0";
const std::string kRefractionIndexOne =
    " Warning: 1 object will render black: their surface refracts, which lets light through "
    "only with a refraction_index above 1";

TEST_F(WarningsTest, SurfacesThatCanOnlyShowBlack) {
    const std::string sphere = "sphere { center <0 0 0> radius 1 }\n";
    const struct {
        const char* what;
        std::string surface;  // the surface block before the sphere
        std::vector<std::string> warnings;
    } cases[] = {
        {"lit colour", "surface { color 1 0 0 ambient 0.2 diffuse 0.8 }\n", {}},
        {"ambient alone", "surface { color 0 1 0 ambient 0.3 }\n", {}},
        {"diffuse alone", "surface { color 0 0 1 diffuse 0.3 }\n", {}},
        {"no surface block yet", "", {kBeforeAnySurface}},
        {"empty surface block", "surface { }\n", {kBeforeAnySurface}},
        {"colour only", "surface { color 1 1 1 }\n", {kNoCoefficient}},
        {"black colour", "surface { color 0 0 0 ambient 0.2 diffuse 0.8 }\n", {kBlackColor}},
        {"black with highlights", "surface { color 0 0 0 specular 0.5 roughness 20 }\n", {}},
        {"black mirror", "surface { reflection 0.9 }\n", {}},
        {"refraction of index 1",
         "surface { color 1 1 1 refraction 0.9 }\n",
         {kRefractionIndexOne}},
        {"glass", "surface { color 1 1 1 refraction 0.9 refraction_index 1.5 }\n", {}},
        {"black glass", "surface { refraction 0.9 refraction_index 1.5 }\n", {kBlackColor}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::string scene = sceneWith(c.surface + sphere);
        // Every scene needs a surface block; one after the sphere changes nothing of it.
        if (c.surface.empty()) scene += "surface { color 1 1 1 ambient 1 }\n";
        EXPECT_EQ(warningsOf(scene), c.warnings);
    }
}

TEST_F(WarningsTest, BlackObjectsAreCountedOnceForEachReason) {
    const std::vector<std::string> warnings =
        warningsOf(sceneWith("sphere { center <0 0 0> radius 1 }\n"
                             "surface { color 0 0 0 diffuse 1 }\n"
                             "sphere { center <2 0 0> radius 1 }\n"
                             "plane { normal <0 0 1> distance -1 }\n"
                             "surface { color 1 0 0 diffuse 1 }\n"
                             "sphere { center <4 0 0> radius 1 }\n"
                             "surface { color 0 0 0 ambient 1 }\n"
                             "disc { center <0 0 3> normal <0 0 1> radius 1 }\n"));
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            " Warning: 3 objects will render black: their surface's color is 0 0 "
                            "0 and it has no specular or reflection",
                            kBeforeAnySurface}));
}

TEST_F(WarningsTest, ImagesWhoseShapeDiffersFromTheCameraRatio) {
    const std::string objects =
        "surface { color 1 0 0 ambient 0.2 diffuse 0.8 }\nsphere { center <0 0 0> radius 1 }\n";
    const struct {
        int width, height;
        const char* ratio;  // the camera's ratio key, if any
        bool stretched;
    } cases[] = {
        {320, 240, nullptr, false}, {640, 480, nullptr, false}, {8, 6, nullptr, false},
        {800, 300, nullptr, true},  {240, 320, nullptr, true},  {800, 300, "2.6667", false},
        {800, 300, "2.7", true},    {400, 400, "1", false},     {403, 400, "1", false},
        {405, 400, "1", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
        std::string scene = sceneWith(objects);
        if (c.ratio != nullptr) {
            scene +=
                std::string("camera { position <0 -5 0> look_at <0 0 0> ratio ") + c.ratio + " }\n";
        }
        parseSceneText(scene);
        myDisplay.width = c.width;
        myDisplay.height = c.height;
        EXPECT_EQ(sceneWarnings().size(), c.stretched ? 1u : 0u);
    }

    parseSceneText(sceneWith(objects));
    myDisplay.width = 800;
    myDisplay.height = 300;
    EXPECT_EQ(sceneWarnings(),
              std::vector<std::string>{
                  " Warning: the image is 800 x 300, a width/height of 2.667, but the camera's "
                  "ratio is 1.333: the picture will be stretched (give the camera the ratio "
                  "2.667, or the image another size)"});
    use3ds = 1;
    EXPECT_EQ(sceneWarnings(),
              std::vector<std::string>{
                  " Warning: the image is 800 x 300, a width/height of 2.667, but the camera's "
                  "ratio is 1.333: the picture will be stretched (a 3DS model's camera has the "
                  "ratio 4/3)"});
}

// A unit sphere at the origin lit from straight above: the light stands its height less 1
// from the sphere's box. A light of 1 fades under 1/255 beyond 255 ("d") or beyond the
// square root of 255, 15.97 ("d2").
TEST_F(WarningsTest, LightsTooFarToChangeOneGreyLevel) {
    const struct {
        const char* light;
        bool tooFar;
    } cases[] = {
        {"position <0 0 16.9> color 1 1 1", false},
        {"position <0 0 17> color 1 1 1", true},
        {"position <0 0 17> color 1 1 1 attenuation_type \"d2\"", true},
        {"position <0 17 0> color 1 1 1", true},
        {"position <0 0 17> color 2 2 2", false},
        {"position <0 0 255> color 1 1 1 attenuation_type \"d\"", false},
        {"position <0 0 257> color 1 1 1 attenuation_type \"d\"", true},
        {"position <0 0 1000> color 1 1 1 attenuation_type \"none\"", false},
        // No brighter than 1 by the shading's measure (red + green + blue / 3): never fades.
        {"position <0 0 1000> color 0.4 0.4 0.6", false},
        {"position <0 0 1000> color 0.4 0.4 0.61", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.light);
        const std::vector<std::string> warnings = warningsOf(
            "settings { output_type \"ppm\" output_name \"out\" }\n"
            "camera { position <0 -5 0> look_at <0 0 0> }\n"
            "surface { color 1 1 1 diffuse 1 }\nsphere { center <0 0 0> radius 1 }\n"
            "light { " +
            std::string(c.light) + " }\n");
        EXPECT_EQ(warnings.size(), c.tooFar ? 1u : 0u);
    }
    EXPECT_EQ(warningsOf("settings { output_type \"ppm\" output_name \"out\" }\n"
                         "camera { position <0 -5 0> look_at <0 0 0> }\n"
                         "surface { color 1 1 1 diffuse 1 }\n"
                         "sphere { center <0 0 0> radius 1 }\n"
                         "sphere { center <0 0 50> radius 1 }\n"
                         "light { position <0 0 -40> color 1 1 1 }\n"),
              std::vector<std::string>{
                  " Warning: the light at <0 0 -40> is too far to be seen: its \"d2\" "
                  "attenuation leaves it under one grey level at the nearest object, 39 away "
                  "(attenuation_type \"none\" keeps its full strength)"});
    EXPECT_EQ(warningsOf("settings { output_type \"ppm\" output_name \"out\" }\n"
                         "camera { position <0 -5 0> look_at <0 0 0> }\n"
                         "surface { color 1 1 1 diffuse 1 }\n"
                         "light { position <0 0 -40> color 1 1 1 }\n"),
              std::vector<std::string>{})
        << "a scene without objects has nothing to light";
}

}  // namespace
