#include "parser/settings3ds.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "model/globals.h"
#include "parser/lexer.h"
#include "parser/parser_test_support.h"

namespace {

// The caller's variables, with recognisable presets.
struct Settings3DS {
    std::string modelName = "preset.3ds";
    int attenuationType = -7;
    int shadowType = 0;
    int lightSamples = -8;
    double lightRadius = -9;
    int cameraIndex = -10;
    ModelOptions options;
};

class Settings3DSTest : public ParserTest {
  protected:
    void SetUp() override {
        resetScene();
        myViewPoint.position = {20, 20, 20};
    }

    Outcome read(const std::string& text) {
        const std::string path = dir_.write("settings.lms", text);
        std::FILE* file = std::fopen(path.c_str(), "r");
        const Outcome outcome = captureRun([&] {
            const SceneInput input(file, "settings.lms");
            yy_3DSSettings(file, values_.modelName, values_.attenuationType, values_.shadowType,
                           values_.lightSamples, values_.lightRadius, values_.cameraIndex,
                           values_.options);
            return 0;
        });
        std::fclose(file);
        return outcome;
    }

    void expectError(const std::string& text, int line, const std::string& message) {
        values_ = {};
        comptligne = 1;
        const Outcome outcome = read(text);
        EXPECT_TRUE(outcome.exited) << text;
        EXPECT_TRUE(endsWithReport(outcome.output, parseErrorReport(line, message)))
            << text << "\noutput: " << outcome.output;
    }

    TempDir dir_;
    Settings3DS values_;
};

TEST_F(Settings3DSTest, AnEmptyBlockResetsTheRenderSettingsOnly) {
    myDisplay.width = 999;
    jitter = 1;
    iImageType = IMAGE_PNG;
    iAntialias = ANTIALIAS_QUICK;
    std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", "kept");
    const Outcome outcome = read("; a comment first\n{ }\nwhatever follows is not read {{{");
    ASSERT_FALSE(outcome.exited) << outcome.output;
    EXPECT_EQ(myDisplay.width, 320);
    EXPECT_EQ(myDisplay.height, 240);
    EXPECT_EQ(jitter, 0);
    EXPECT_EQ(iAntialias, ANTIALIAS_NONE);
    EXPECT_EQ(adapt_dist, 64);
    EXPECT_EQ(iImageType, IMAGE_TGA);
    EXPECT_STREQ(myDisplay.outputName, "kept");
    const Settings3DS presets;
    EXPECT_EQ(values_.modelName, presets.modelName);
    EXPECT_EQ(values_.attenuationType, presets.attenuationType);
    EXPECT_EQ(values_.lightSamples, presets.lightSamples);
    EXPECT_EQ(values_.lightRadius, presets.lightRadius);
    EXPECT_EQ(values_.cameraIndex, presets.cameraIndex);
}

TEST_F(Settings3DSTest, EveryKeyReachesItsDestination) {
    const Outcome outcome = read(
        "{ input_name \"models\\scene.3ds\" attenuation_type \"d\" shadow_type \"smooth\"\n"
        "  light_samples 12 radius 0.75 camera_index -4 camera_samples 4 aperture 0.2\n"
        "  focal_point <20 20 8> resolution 64 48 output_type \"jpeg\" output_name \"shot\"\n"
        "  aa_jitter \"yes\" aa_type \"adaptive\" aa_distance 12 background 0.1 0.2 0.3\n"
        "  haze_color 0.5 0.5 0.5 haze_factor 0.25 jpeg_quality 150 }");
    ASSERT_FALSE(outcome.exited) << outcome.output;
    EXPECT_EQ(values_.modelName, "models\\scene.3ds");
    EXPECT_EQ(values_.attenuationType, ATTENUATION_D);
    EXPECT_EQ(values_.shadowType, SHADOW_SMOOTH);
    EXPECT_EQ(values_.lightSamples, 12);
    EXPECT_EQ(values_.lightRadius, 0.75);
    EXPECT_EQ(values_.cameraIndex, -4) << "stored as given; the model's camera count clamps it";
    EXPECT_EQ(myViewPoint.cameraSamples, 4);
    EXPECT_EQ(myViewPoint.aperture, 0.2);
    EXPECT_DOUBLE_EQ(myViewPoint.focalLength, 12) << "measured from the preset position";
    EXPECT_EQ(myDisplay.width, 64);
    EXPECT_EQ(myDisplay.height, 48);
    EXPECT_EQ(iImageType, IMAGE_JPEG);
    EXPECT_STREQ(myDisplay.outputName, "shot");
    EXPECT_EQ(jitter, 1);
    EXPECT_EQ(iAntialias, ANTIALIAS_ADAPTIVE);
    EXPECT_EQ(adapt_dist, 12);
    EXPECT_EQ(myBackGroundColor.b, 0.3);
    EXPECT_EQ(myHaze.color.g, 0.5);
    EXPECT_EQ(myHaze.factor, 0.25);
    EXPECT_EQ(jpeg_quality, 100);
}

TEST_F(Settings3DSTest, SharpLightsNeedNeitherRadiusNorSamples) {
    ASSERT_FALSE(read("{ shadow_type \"sharp\" input_name \"a.3ds.bak\" }").exited);
    EXPECT_EQ(values_.modelName, "a.3ds.bak") << "\".3ds\" may stand anywhere in the name";
}

// Any model format may be named; "up" says which way the model stands.
TEST_F(Settings3DSTest, NamesModelsOfEveryFormatAndTheirUpAxis) {
    const struct {
        const char* text;
        const char* name;
        bool yUp;
    } cases[] = {
        {"{ input_name \"bunny.ply\" }", "bunny.ply", false},
        {"{ input_name \"scene.gltf\" up \"y\" }", "scene.gltf", true},
        {"{ up \"y\" up \"z\" input_name \"cube.obj\" }", "cube.obj", false},
        {"{ input_name \"model.3ds\" up \"y\" }", "model.3ds", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        values_.options.yUp = false;  // the caller's preset, kept without the key
        ASSERT_FALSE(read(c.text).exited);
        EXPECT_EQ(values_.modelName, c.name);
        EXPECT_EQ(values_.options.yUp, c.yUp);
    }
}

// "frame" and "headlight" say what stands in for a camera or light the model lacks.
TEST_F(Settings3DSTest, FrameAndHeadlightAreSwitchedOnByYes) {
    const struct {
        const char* text;
        bool frame, headlight;
    } cases[] = {
        {"{ }", false, false},
        {"{ frame \"yes\" }", true, false},
        {"{ headlight \"yes\" frame \"no\" }", false, true},
        {"{ frame \"yes\" headlight \"yes\" frame \"no\" }", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        values_.options = {};
        ASSERT_FALSE(read(c.text).exited);
        EXPECT_EQ(values_.options.frame, c.frame);
        EXPECT_EQ(values_.options.headlight, c.headlight);
    }
}

TEST_F(Settings3DSTest, Errors) {
    const struct {
        std::string text;
        int line;
        const char* message;
    } cases[] = {
        {"input_name \"x.3ds\"", 1, " Opening bracket '{' expected"},
        {"{\ninput_name \"MODEL.3DS\"", 2, " '.3ds' file expected."},
        {"{ attenuation_type \"D\"", 1, " invalid light attenuation type specified"},
        {"{ shadow_type \"soft\"", 1, " invalid shadow type specified"},
        {"{\nlight_samples 0", 2, " smooth light samples must be greater than 0"},
        {"{ radius -1", 1, " smooth light radius must be greater than 0"},
        {"{ camera_samples 0", 1, " camera samples must be greater than 0"},
        {"{\nlight_samples 100000000", 2, " smooth light samples must be at most 1024"},
        {"{ camera_samples 1025", 1, " camera samples must be at most 1024"},
        {"{\n\nsamples 16", 3, " Unkown parameter in 3ds settings structure"},
        {"{ position <0 0 0>", 1, " Unkown parameter in 3ds settings structure"},
        {"{\nup \"x\"", 2, " invalid up axis specified"},
        {"{ up <0 1 0>", 1, " string expected"},
        {"{ output_type \"gif\"", 1, " invalid output file type specified"},
        {"{ jitter \"on\"", 1, " jitter must be either 'yes' or 'no'"},
        {"{\nframe \"YES\"", 2, " frame must be either 'yes' or 'no'"},
        {"{ headlight \"1\"", 1, " headlight must be either 'yes' or 'no'"},
        {"{ headlights \"yes\"", 1, " Unkown parameter in 3ds settings structure"},
        {"{ shadow_type \"smooth\" radius 1\n}", 2,
         " Error in lights specifications - missing parameters"},
        {"{ shadow_type \"smooth\" radius 1 light_samples 4 radius 2 }", 1,
         " Error in lights specifications - missing parameters"},
        {"{ focal_length 5 focal_point <0 0 0> }", 1,
         " focal lenght OR focal point must be defined"},
        {"{ display 320", 1, " Integer value expected"},
    };
    for (const auto& c : cases) expectError(c.text, c.line, c.message);
}

}  // namespace
