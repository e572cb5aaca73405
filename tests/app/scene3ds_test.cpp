#include "app/scene3ds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <map>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include "import3ds/chunk_writer.h"
#include "import3ds/model3ds.h"
#include "importmodel/model_writers.h"
#include "model/globals.h"
#include "primitives/patch.h"
#include "test_support.h"

namespace {

using namespace chunk3ds;

class Scene3dsTest : public SceneTest {
  protected:
    void TearDown() override {
        SceneTest::TearDown();
        g_3DModel = Model3DS{};
    }

    // Writes the model as model.3ds beside a settings file holding `settings` between the
    // braces and its input_name, and returns the settings file's path.
    std::string write(const Chunk& model, const std::string& settings = "") {
        dir_.write("model.3ds", model.bytes());
        return dir_.write("model.lms", "{ input_name \"model.3ds\" " + settings + " }\n");
    }
    // parse3ds on the settings file, with the command line `-3ds settings arguments...` read
    // first as the driver does.
    Outcome run(const std::string& settings, std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), {"-3ds", settings});
        EXPECT_FALSE(parseCommandLine(arguments).exited);
        return captureRun([&] { return parse3ds(settings.c_str()); });
    }

    TempDir dir_;
};

std::vector<const ObjectRecord*> objects() {
    std::vector<const ObjectRecord*> list;
    for (const ObjectRecord* o = myObjectList; o != nullptr; o = o->next) list.push_back(o);
    return list;
}

void expectColour(Color actual, Color expected) {
    EXPECT_DOUBLE_EQ(actual.r, expected.r);
    EXPECT_DOUBLE_EQ(actual.g, expected.g);
    EXPECT_DOUBLE_EQ(actual.b, expected.b);
}

void expectVector(Vector3 actual, Vector3 expected) {
    EXPECT_DOUBLE_EQ(actual.x, expected.x);
    EXPECT_DOUBLE_EQ(actual.y, expected.y);
    EXPECT_DOUBLE_EQ(actual.z, expected.z);
}

TEST(ComputeFovTest, LensesAreLookedUpAndInterpolated) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        float lens;
        float degrees;  // before the division by 1.175
    } cases[] = {
        {50, 46},     {35, 63},       {15, 115},      {1000, 2.5f},
        {10, 115},    {-4, 115},      {nan, 115},     {1e6f, 2.5f},  // held to 15..1000 mm
        {16, 108.5f}, {42.5f, 54.5f}, {900, 2.8125f},                // halfway between two entries
    };
    for (const auto& c : cases) {
        EXPECT_FLOAT_EQ(computeFOV(c.lens), c.degrees / 1.175f) << c.lens;
    }
    EXPECT_NEAR(computeFOV(50), 39.1489, 1e-4);
    EXPECT_NEAR(computeFOV(10), 97.8723, 1e-4);
}

// Two cameras told apart by their positions and lenses.
Chunk twoCameras(const Chunk& extra) {
    return model({camera("Front", {0, -10, 2}, {0, 0, 1}, 50), extra,
                  camera("Side", {10, 0, 3}, {0, 0, 0.5f}, 135, 30)});
}

TEST_F(Scene3dsTest, CameraIndexIsHeldToTheCamerasAndTheCommandLineWins) {
    const struct {
        std::string settings;
        std::vector<std::string> arguments;
        int camera;
    } cases[] = {
        {"", {}, 0},
        {"camera_index 1", {}, 1},
        {"camera_index 5", {}, 1},
        {"camera_index -3", {}, 0},
        {"", {"-c", "1"}, 1},
        {"camera_index 1", {"-c", "0"}, 0},
        {"camera_index 0", {"--camera", "7"}, 1},
        {"camera_index 1", {"-c", "-3"}, 0},
    };
    const Vector3 positions[] = {{0, -10, 2}, {10, 0, 3}};
    const Vector3 targets[] = {{0, 0, 1}, {0, 0, 0.5}};
    const float degrees[] = {46, 18};  // lenses of 50 and 135 mm
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings + (c.arguments.empty() ? "" : " -c " + c.arguments[1]));
        resetScene();
        const Outcome outcome = run(write(twoCameras(strip("S", 1, "")), c.settings), c.arguments);
        ASSERT_EQ(outcome.status, 0) << outcome.output;
        expectVector(myViewPoint.position, positions[c.camera]);
        expectVector(myViewPoint.lookAt, targets[c.camera]);
        EXPECT_DOUBLE_EQ(myViewPoint.fovH,
                         0.5 * (degrees[c.camera] / 1.175f) * std::numbers::pi / 180);
        EXPECT_EQ(iCameraIndex, c.camera);
    }
    // What the settings leave alone keeps its preset.
    expectVector(myViewPoint.up, {0, 0, 1});
    EXPECT_DOUBLE_EQ(myViewPoint.ratio, 4.0 / 3.0);
    EXPECT_DOUBLE_EQ(myViewPoint.focalLength, 10);
    EXPECT_EQ(myViewPoint.cameraSamples, 16);
    EXPECT_STREQ(myDisplay.outputName, (dir_.path() / "model.lms").c_str())
        << "named after the settings file";
    EXPECT_TRUE(g_3DModel.objects.empty() && g_3DModel.cameras.empty())
        << "the model is released once the scene is built";
}

// Each message is followed by a hint naming the key that helps; a unit square at the origin
// fills about a thousandth of the default view (its grid of 160 x 120 counts 24 cells).
TEST_F(Scene3dsTest, ModelsWithoutCameraOrLightAreSeenFromTheDefaultCamera) {
    const std::string settings = write(model({strip("S", 2, "")}));
    const Outcome outcome = run(settings);
    ASSERT_EQ(outcome.status, 0);
    EXPECT_TRUE(outcome.output.ends_with(
        " No camera defined in " + settings + ". Using default settings.\n"
        " Hint: frame \"yes\" in the settings file looks at the whole model; the default camera "
        "shows it over 0.1% of the picture.\n"
        " No light defined in " + settings + ".\n"
        " Hint: headlight \"yes\" in the settings file lights the model from the camera.\n"))
        << outcome.output;
    expectVector(myViewPoint.position, {20, 20, 20});
    expectVector(myViewPoint.lookAt, {0, 0, 0});
    EXPECT_DOUBLE_EQ(myViewPoint.fovH, 0.5 * 40 * std::numbers::pi / 180);
    EXPECT_EQ(myLightList, nullptr);
    EXPECT_EQ(nPrims, 2);
}

// How much of the default view the model fills is told only when it is little.
TEST_F(Scene3dsTest, TheFramingHintTellsHowLittleOfThePictureTheModelFills) {
    const struct {
        const char* what;
        Chunk mesh;
        const char* ending;  // of the hint line
    } cases[] = {
        {"out of sight, behind the camera",
         mesh("Far", {{40, 40, 40}, {41, 40, 40}, {40, 41, 40}}, {{0, 1, 2}}),
         "; the default camera does not see it."},
        {"a speck", mesh("Speck", {{0, 0, 0}, {0.05f, 0, 0}, {0, 0.05f, 0}}, {{0, 1, 2}}),
         "; the default camera shows it over under 0.1% of the picture."},
        {"large enough",
         mesh("Big", {{-5, -5, 0}, {5, -5, 0}, {5, 5, 0}, {-5, 5, 0}}, {{0, 1, 2}, {0, 2, 3}}),
         " looks at the whole model."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        resetScene();
        const Outcome outcome = run(write(model({c.mesh})));
        ASSERT_EQ(outcome.status, 0);
        const std::size_t hint = outcome.output.find(" Hint: frame");
        ASSERT_NE(hint, std::string::npos) << outcome.output;
        const std::string line = outcome.output.substr(hint, outcome.output.find('\n', hint) - hint);
        EXPECT_TRUE(line.ends_with(c.ending)) << line;
    }
}

// frame "yes" looks at the middle of the model's box from the default camera's side, so that
// the box's bounding sphere fits the 40-degree view; headlight "yes" puts a white light of the
// settings' kind at the camera.
TEST_F(Scene3dsTest, FrameAndHeadlightShowAModelThatHasNeitherCameraNorLight) {
    // Two unit squares stacked, the box [0, 1] x [0, 1] x [3, 5]: centre (0.5, 0.5, 4), radius
    // sqrt(1 + 1 + 4) / 2; the narrower half-angle is 20 / (4/3) = 15 degrees.
    const std::string settings =
        write(model({strip("Low", 2, "", 3), strip("High", 2, "", 5)}),
              "frame \"yes\" headlight \"yes\" attenuation_type \"d2\" shadow_type \"smooth\" "
              "radius 0.25 light_samples 6");
    const Outcome outcome = run(settings);
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    const double distance = std::sqrt(6.0) / 2 / std::sin(15 * std::numbers::pi / 180);
    const double offset = distance / std::sqrt(3.0);
    const Vector3 position{0.5 + offset, 0.5 + offset, 4 + offset};
    expectVector(myViewPoint.lookAt, {0.5, 0.5, 4});
    EXPECT_NEAR(myViewPoint.position.x, position.x, 1e-12);
    EXPECT_NEAR(myViewPoint.position.y, position.y, 1e-12);
    EXPECT_NEAR(myViewPoint.position.z, position.z, 1e-12);
    EXPECT_DOUBLE_EQ(myViewPoint.fovH, 0.5 * 40 * std::numbers::pi / 180);
    EXPECT_EQ(outcome.output.find(" Hint:"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find(". Using default settings.\n Framing the model: the camera at <"),
              std::string::npos)
        << outcome.output;
    EXPECT_TRUE(outcome.output.ends_with(
        " No light defined in " + settings + ".\n Lighting the model with a headlight at the "
        "camera.\n"))
        << outcome.output;

    ASSERT_NE(myLightList, nullptr);
    EXPECT_EQ(myLightList->next, nullptr);
    const LightData& light = dataOf<LightData>(*myLightList);
    expectVector(light.position, myViewPoint.position);
    EXPECT_EQ(light.color.r + light.color.g + light.color.b, 3);
    EXPECT_EQ(light.lightType, LIGHT_POINT);
    EXPECT_EQ(light.attenuationType, ATTENUATION_D2);
    EXPECT_EQ(light.shadowType, SHADOW_SMOOTH);
    EXPECT_DOUBLE_EQ(light.lightRadius, 0.25);
    EXPECT_EQ(light.lightSamples, 6);
}

// A model's own camera and lights win: the keys change nothing then. A model of one point has
// no extent to frame and keeps the default camera.
TEST_F(Scene3dsTest, FrameAndHeadlightOnlyStandInForWhatTheModelLacks) {
    const Chunk withEverything = twoCameras(light("Lamp", {1, 2, 3}, {floatColour(1, 0, 0)}));
    for (const char* keys : {"", "frame \"yes\" headlight \"yes\""}) {
        SCOPED_TRACE(keys);
        resetScene();
        ASSERT_EQ(run(write(withEverything, keys)).status, 0);
        expectVector(myViewPoint.position, {0, -10, 2});
        ASSERT_NE(myLightList, nullptr);
        EXPECT_EQ(myLightList->next, nullptr);
        expectVector(dataOf<LightData>(*myLightList).position, {1, 2, 3});
    }

    resetScene();
    const Chunk point = model({mesh("Point", {{3, 3, 3}}, {{0, 0, 0}})});
    const Outcome outcome = run(write(point, "frame \"yes\""));
    ASSERT_EQ(outcome.status, 0);
    expectVector(myViewPoint.position, {20, 20, 20});
    EXPECT_EQ(outcome.output.find("Framing"), std::string::npos) << outcome.output;
}

TEST_F(Scene3dsTest, EveryFaceBecomesAPatchOfItsMaterialColour) {
    const std::string settings = write(model({
        material("Rust", byteColour(200, 100, 50)), material("Sky", floatColour(0.2f, 0.6f, 1)),
        strip("Ten", 10, "Sky"), strip("Twenty", 20, "Rust", 1),
        strip("Plain", 3, ""),           // names no material: grey
        strip("Lost", 4, "Nowhere", 2),  // names one the model lacks: grey too
    }));
    ASSERT_EQ(run(settings).status, 0);
    EXPECT_EQ(nPrims, 37);

    // Colours are the material bytes over 255 in single precision.
    const Color rust{200 / 255.0f, 100 / 255.0f, 50 / 255.0f};
    const Color sky{51 / 255.0f, 153 / 255.0f, 255 / 255.0f};
    std::map<std::tuple<double, double, double>, int> patchesOfColour;
    for (const ObjectRecord* patch : objects()) {
        ASSERT_EQ(patch->kind, KIND_PATCH);
        ++patchesOfColour[{patch->surface->color.r, patch->surface->color.g,
                           patch->surface->color.b}];
        EXPECT_DOUBLE_EQ(patch->surface->ambient, 0.3);
        EXPECT_DOUBLE_EQ(patch->surface->diffuse, 0.375);
        for (const double zero :
             {patch->surface->brilliance, patch->surface->specular, patch->surface->roughness,
              patch->surface->reflection, patch->surface->reflectionRadius,
              patch->surface->refraction, patch->surface->refractionIndex}) {
            EXPECT_EQ(zero, 0);
        }
        EXPECT_EQ(patch->surface->reflectionType, 0);
        EXPECT_EQ(patch->surface->reflectionSamples, 0);
        // Every strip is flat, so every vertex normal is the strip's normal.
        expectVector(patchCornerNormal(*patch, 1), {0, 0, 1});
    }
    EXPECT_EQ((patchesOfColour[{sky.r, sky.g, sky.b}]), 10);
    EXPECT_EQ((patchesOfColour[{rust.r, rust.g, rust.b}]), 20);
    EXPECT_EQ((patchesOfColour[{0.6, 0.6, 0.6}]), 7);
}

// The faces of a long mesh are made in runs, by whichever thread is free; the list holds
// the same patches in the same order as one thread makes it.
TEST_F(Scene3dsTest, ThreadsMakeTheListOneThreadMakes) {
    const std::string settings = write(model({
        material("Sky", floatColour(0.2f, 0.6f, 1)),
        strip("Long", 20000, "Sky"),
        strip("Short", 5, "", 1),
        strip("Middle", 9000, "Sky", 2),
    }));
    using Patch = std::tuple<double, double, double, double, double, float>;
    const auto listMade = [&](int threads) {
        resetScene();
        multiThreaded = threads > 1;
        numThreads = threads;
        EXPECT_EQ(run(settings).status, 0);
        std::vector<Patch> list;
        for (const ObjectRecord* patch : objects()) {
            const Vector3& first = patchVertex(*patch, 0);
            const Vector3& last = patchVertex(*patch, 2);
            list.emplace_back(first.x, first.y, first.z, last.x, last.y, patch->surface->color.r);
        }
        return list;
    };
    const std::vector<Patch> alone = listMade(1);
    EXPECT_EQ(alone.size(), 29005u);
    for (const int threads : {2, 3, 8}) {
        EXPECT_EQ(listMade(threads), alone) << threads << " threads";
    }
    multiThreaded = false;
}

// The model has no materials either: its faces are grey.
TEST_F(Scene3dsTest, FacesWithoutAPlaneMakeNoPatch) {
    const Chunk file = model({
        mesh("Mixed", {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}},
             {{0, 1, 2}, {0, 1, 3}, {0, 0, 2}, {1, 1, 1}}, "Nowhere"),
        // A triangle wound both ways: its vertex normals cancel out to zero.
        mesh("Sheet", {{0, 0, 5}, {1, 0, 5}, {0, 1, 5}}, {{0, 1, 2}, {0, 2, 1}}),
    });
    ASSERT_EQ(run(write(file)).status, 0);
    ASSERT_EQ(nPrims, 3);
    for (const ObjectRecord* patch : objects()) {
        expectColour(patch->surface->color, {0.6, 0.6, 0.6});
        for (const Vector3& n : {patchCornerNormal(*patch, 0), patchCornerNormal(*patch, 1),
                                 patchCornerNormal(*patch, 2)}) {
            EXPECT_NEAR(length(n), 1, 1e-12) << "a zero vertex normal must not reach the patch";
        }
    }
}

TEST_F(Scene3dsTest, LightsTakeTheSettingsParameters) {
    const std::string settings =
        write(model({strip("S", 1, ""),
                     light("Warm", {1, 2, 3}, {floatColour(0.5f, 0.25f, 1), byteColour(1, 2, 3)}),
                     light("Bytes", {4, 5, 6}, {byteColour(255, 255, 255)})}),
              "attenuation_type \"d\" shadow_type \"smooth\" radius 0.5 light_samples 8");
    ASSERT_EQ(run(settings).status, 0);

    // The list runs last-made first.
    const ObjectRecord* bytes = myLightList;
    ASSERT_NE(bytes, nullptr);
    const ObjectRecord* warm = bytes->next;
    ASSERT_NE(warm, nullptr);
    EXPECT_EQ(warm->next, nullptr);
    expectVector(dataOf<LightData>(*bytes).position, {4, 5, 6});
    expectColour(dataOf<LightData>(*bytes).color, {1, 1, 1});  // 255 over 255

    expectVector(dataOf<LightData>(*warm).position, {1, 2, 3});
    EXPECT_DOUBLE_EQ(dataOf<LightData>(*warm).color.g, 0.25);
    const LightData& data = dataOf<LightData>(*warm);
    EXPECT_EQ(data.lightType, LIGHT_POINT);
    EXPECT_EQ(data.attenuationType, ATTENUATION_D);
    EXPECT_EQ(data.shadowType, SHADOW_SMOOTH);
    EXPECT_DOUBLE_EQ(data.lightRadius, 0.5);
    EXPECT_EQ(data.lightSamples, 8);
    expectVector(data.direction, {0, 0, 0});  // not NaN
}

TEST_F(Scene3dsTest, ModelsThatCannotBeLoadedReturnAnError) {
    const Chunk good = model({strip("S", 2, "")});
    std::string truncated = good.bytes();
    truncated.resize(truncated.size() - 3);
    const struct {
        const char* what;
        std::string bytes;  // empty: no model file at all
        std::string message;
    } cases[] = {
        {"missing model", "", " Unable to find the file: model.3ds!\n"},
        {"not a 3DS file", "{ sphere }", "  Unable to load PRIMARY chuck from file: "},
        {"cut short", truncated, " Damaged 3DS file "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const TempDir dir;
        if (!c.bytes.empty()) dir.write("model.3ds", c.bytes);
        const std::string settings = dir.write("model.lms", "{ input_name \"model.3ds\" }");
        const Outcome outcome = run(settings);
        EXPECT_FALSE(outcome.exited);
        EXPECT_EQ(outcome.status, -1);
        EXPECT_NE(outcome.output.find(c.message), std::string::npos) << outcome.output;
        EXPECT_TRUE(outcome.output.ends_with(" An error occured while loading " + settings + "\n"));
        EXPECT_EQ(nPrims, 0);
    }
}

TEST_F(Scene3dsTest, SettingsFileThatCannotBeOpenedEndsTheRun) {
    const std::string absent = dir_.path().string() + "/absent.lms";
    const Outcome outcome = run(absent);
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, -1);
    EXPECT_EQ(outcome.output, "\n 3ds settings file: " + absent + " could no be opened\n");
}

}  // namespace

namespace {

// The model route with the other formats: a settings file names the model, which brings no
// camera and no light here, so the default camera looks from (20, 20, 20) at the origin.
class ModelRoute : public testing::Test {
  protected:
    // Renders the model file `name`, written with `content`, through a settings file with
    // `keys`, by the option given; the picture, or an empty one on failure.
    ProgramRun render(const std::string& name, const std::string& content,
                      const std::string& keys = "", const char* option = "-model") {
        if (!content.empty()) dir_.write(name, content);
        dir_.write("m.lms", "{ input_name \"" + name + "\" output_type \"ppm\" output_name \"m\" " +
                                "display 64 48 background 0 0 1 " + keys + " }\n");
        return runProgram(LUMORA_BIN, {option, "m.lms", "-aan"}, dir_.path());
    }
    Picture picture() const { return readPpm(dir_.path() / "m.ppm"); }
    TempDir dir_;
};

TEST_F(ModelRoute, RendersAnObjModelByEitherOption) {
    dir_.write("cube.mtl", cube::objMaterial("1 0 0"));
    ProgramRun run = render("cube.obj", cube::obj());
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_NE(run.output.find(" No camera defined in m.lms. Using default settings.\n"),
              std::string::npos);
    const Picture byModel = picture();
    ASSERT_EQ(byModel.width, 64);
    // The cube at the centre, in its material's red, lit by nothing but ambient light.
    const std::size_t centre = 3 * (24 * 64 + 32);
    EXPECT_GT(byModel.pixels[centre], 0);
    EXPECT_EQ(byModel.pixels[centre + 1], 0);
    EXPECT_EQ(byModel.pixels[centre + 2], 0);
    EXPECT_EQ(byModel.pixels[2], 255) << "the corner shows the background";

    run = render("cube.obj", "", "", "--3ds");
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_EQ(picture().pixels, byModel.pixels);
}

// A y-up model 5 up its y axis, stood upright, is the z-up model 5 up its z axis.
TEST_F(ModelRoute, UpYStandsAYUpModelUpright) {
    ASSERT_EQ(render("zup.gltf", cube::gltf("0, 0, 5")).exitStatus, 0);
    const Picture zUp = picture();
    ASSERT_EQ(render("yup.gltf", cube::gltf("0, 5, 0"), "up \"y\"").exitStatus, 0);
    EXPECT_EQ(picture().pixels, zUp.pixels);
    ASSERT_EQ(render("yup.gltf", "", "up \"z\"").exitStatus, 0);
    EXPECT_NE(picture().pixels, zUp.pixels);
}

TEST_F(ModelRoute, AModelThatCannotBeReadIsNamedWithTheReason) {
    const ProgramRun run = render("none.obj", "");
    EXPECT_EQ(run.exitStatus, 255);
    EXPECT_NE(run.output.find(" Model file none.obj could not be read: Unable to open file"),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find(" An error occured while loading m.lms\n"), std::string::npos);
}

}  // namespace
