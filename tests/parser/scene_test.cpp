#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "model/globals.h"
#include "parser/lexer.h"
#include "parser/parser.h"
#include "parser/parser_test_support.h"

namespace {

// The summary of a scene whose only objects are its spheres, with one surface.
std::string summaryOfSpheres(int spheres) {
    return "\n\n Number of sphere(s):\t\t" + std::to_string(spheres) +
           "\n"
           " Number of ring(s):\t\t0\n"
           " Number of plane(s):\t\t0\n"
           " Number of cone(s):\t\t0\n"
           " Number of cylinder(s):\t\t0\n"
           " Number of disc(s):\t\t0\n"
           " Number of polygon(s):\t\t0\n"
           " Number of triangle(s):\t\t0\n"
           " Number of patch(es):\t\t0\n"
           " Number of surface(s):\t\t1\n"
           " Number of light(s):\t\t0\n";
}

const std::string kSummaryOfOneSphere = summaryOfSpheres(1);
const std::string kSummaryOfNothing = summaryOfSpheres(0);

const std::string kCamera = "camera { position <0 0 0> look_at <0 1 0> }\n";
const std::string kSettings = "settings { output_type \"tga\" output_name \"pic\" }\n";
const std::string kSurface = "surface { color 1 1 1 }\n";

TEST_F(ParserTest, IncompleteScenesNameTheFirstMissingBlock) {
    const struct {
        const char* what;
        std::string scene;
        const char* message;
    } cases[] = {
        {"empty file", "", " Missing camera!"},
        {"comments only", "; nothing\n[ at all ]\n", " Missing camera!"},
        {"settings without camera", kSettings + kSurface, " Missing camera!"},
        {"no settings", kCamera + kSurface, " Missing settings!"},
        {"no surface", kCamera + kSettings, " Missing surface!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = parseSceneText(c.scene);
        EXPECT_FALSE(outcome.exited);
        EXPECT_EQ(outcome.status, -1);
        EXPECT_TRUE(endsWith(outcome.output, c.message)) << outcome.output;
    }
}

// After the fixed report, one line names the file and line, what was read there and what was
// probably meant.
TEST_F(ParserTest, ErrorsSayWhatWasReadAndWhatWasMeant) {
    const std::string head = kSettings + kCamera + kSurface;  // three lines
    const struct {
        const char* what;
        std::string scene;
        const char* context;
    } cases[] = {
        {"a misspelt key", head + "sphere { centre <0 0 0> radius 1 }\n",
         "scene.lms:4: read \"centre\"; did you mean \"center\"?"},
        {"a misspelt statement", head + "shpere { }\n",
         "scene.lms:4: read \"shpere\"; did you mean \"sphere\"?"},
        {"a word like no keyword", head + "teapot { }\n", "scene.lms:4: read \"teapot\""},
        {"a key of another block", head + "sphere { fov 3 }\n", "scene.lms:4: read \"fov\""},
        {"a block without its brace", head + "sphere { radius 1\n\nsurface { }\n",
         "scene.lms:6: read \"surface\"; the block opened on line 4 has no \"}\""},
        {"a block cut by the end of the file", head + "sphere {\n radius 1\n",
         "scene.lms:6: read the end of the file; the block opened on line 4 has no \"}\""},
        {"a comment left open", head + "sphere { [ radius 1 }\n\n",
         "scene.lms:6: read the end of the file; the block opened on line 4 has no \"}\"; the "
         "comment opened by \"[\" on line 4 never ends"},
        {"an unknown option", "settings { antialiasing \"best\" }",
         "scene.lms:1: read \"best\"; accepted: \"none\", \"quick\", \"adaptive\""},
        {"an undeclared colour", "surface { color #purple }", "scene.lms:1: read \"purple\""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = parseSceneText(c.scene);
        EXPECT_TRUE(outcome.exited);
        EXPECT_TRUE(endsWith(outcome.output, std::string(c.context) + "\n")) << outcome.output;
        EXPECT_TRUE(endsWithReport(outcome.output,
                                   outcome.output.substr(0, outcome.output.rfind("\n ") + 1)))
            << "one line after the report: " << outcome.output;
    }
}

TEST_F(ParserTest, CommentsLeftOpenAreNamedAfterTheSceneIsRead) {
    const auto warningAt = [](int line) {
        return " Warning: the comment opened by \"[\" on line " + std::to_string(line) + " of ";
    };
    const Outcome incomplete = parseSceneText(kSettings + "[ camera { }\n");
    EXPECT_EQ(incomplete.status, -1);
    EXPECT_NE(incomplete.output.find(" Missing camera!\n" + warningAt(2)), std::string::npos)
        << incomplete.output;

    const Outcome complete = parseSceneText(kSettings + kCamera + kSurface + "[ sphere { }");
    EXPECT_EQ(complete.status, 0);
    EXPECT_NE(complete.output.find(kSummaryOfNothing + warningAt(4)), std::string::npos)
        << complete.output;
    EXPECT_TRUE(endsWith(complete.output, "scene.lms never ends\n")) << complete.output;
}

// 65,536 blocks of a kind once counted back to none.
TEST_F(ParserTest, ManyBlocksOfAKindAreAllCounted) {
    std::string scene = kSettings + kCamera;
    for (int n = 0; n < 65536; ++n)
        scene += "surface { }\nlight { position <0 0 9> color 1 1 1 }\n";
    const Outcome outcome = parseSceneText(scene);
    EXPECT_EQ(outcome.status, 0) << outcome.output.substr(0, 200);
    EXPECT_EQ(outcome.output.find("Warning: scene doesn't contain any light"), std::string::npos);
    EXPECT_NE(outcome.output.find(" Number of surface(s):\t\t65536\n"), std::string::npos);
}

TEST_F(ParserTest, SceneWithoutLightWarnsAndSummarises) {
    const TempDir dir;
    const std::string path = dir.write(
        "scene.lms", kSettings + kCamera + kSurface + "sphere { center <0 5 0> radius 1 }");
    const Outcome outcome = parseSceneFile(path);
    EXPECT_FALSE(outcome.exited);
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.output, "\n Parsing " + path + " Warning: scene doesn't contain any light." +
                                  kSummaryOfOneSphere);
    EXPECT_EQ(nPrims, 1);
}

TEST_F(ParserTest, TopLevelRejectsWhatStartsNoStatement) {
    const struct {
        const char* what;
        const char* scene;
        const char* returned;
    } cases[] = {
        {"a key outside its block", "\ncenter <0 0 0>", "501 'center'"},
        {"an unknown word", "teapot", "0 'teapot'"},
        {"a 3DS settings word", "headlight", "0 'headlight'"},  // not a keyword of scenes
        {"a number", "42", "1 '42'"},
        {"a brace", "{", "10 ''"},
        {"a reserved keyword", "modify", "1000 'modify'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Outcome outcome = parseSceneText(c.scene);
        EXPECT_TRUE(outcome.exited);
        const int line = c.scene[0] == '\n' ? 2 : 1;
        EXPECT_TRUE(endsWithReport(outcome.output, std::string("\n Scene parser returned error: ") +
                                                       c.returned + "\n" +
                                                       parseErrorReport(line, " Unkown term")))
            << outcome.output;
    }
}

TEST_F(ParserTest, SettingsErrors) {
    const std::string name = "output_name \"pic\"\n";
    expectParseErrors({
        {"no brace", "settings background 0 0 0", 1, " Opening bracket '{' expected"},
        {"output type", "settings {\noutput_type \"gif\"", 2,
         " invalid output file type specified"},
        {"jitter", "settings {\njitter \"maybe\"", 2, " jitter must be either 'yes' or 'no'"},
        {"anti-aliasing", "settings {\n\naa_type \"super\"", 3,
         " invalid anti-aliasing type specified"},
        {"camera key", "settings {\nfov 30", 2, " Unkown parameter in settings structure"},
        {"end of file", "settings {\noutput_type \"tga\"\n", 3,
         " Unkown parameter in settings structure"},
        {"two output types", "settings {\noutput_type \"tga\"\noutput_type \"bmp\"\n" + name + "}",
         5, " error in settings structure declaration"},
        {"no output name", "settings { output_type \"tga\" }", 1,
         " error in settings structure declaration"},
        {"resolution", "settings { display 320 \"x\" }", 1, " Integer value expected"},
    });
}

TEST_F(ParserTest, SettingsBlockResetsWhatItControls) {
    ASSERT_EQ(parseSceneText(kCamera + kSurface +
                             "settings { display 64 48 output_type \"ppm\" output_name \"a\"\n"
                             "  jitter \"yes\" antialiasing \"quick\" aa_distance 9\n"
                             "  background 0.1 0.2 0.3 haze_color 1 1 1 haze_factor 0.5 }\n"
                             "settings { output_type \"tga\" output_name \"b\" }\n")
                  .status,
              0);
    EXPECT_EQ(myDisplay.width, 320);
    EXPECT_EQ(myDisplay.height, 240);
    EXPECT_EQ(jitter, 0);
    EXPECT_EQ(iAntialias, ANTIALIAS_NONE);
    EXPECT_EQ(adapt_dist, 64);
    EXPECT_EQ(myBackGroundColor.b, 0);
    EXPECT_EQ(myHaze.factor, 0);
    EXPECT_EQ(iImageType, IMAGE_TGA);
    EXPECT_STREQ(myDisplay.outputName, "b");
}

TEST_F(ParserTest, SettingsValues) {
    ASSERT_EQ(parseSceneText(kCamera + kSurface +
                             "settings { resolution 64 48 output_type \"ppm\" output_name \"a.b\"\n"
                             "  aa_jitter \"yes\" antialiasing \"adaptive\" aa_distance 9\n"
                             "  background 0.1 0.2 0.3 haze_color 2 1 1 haze_factor 0.5 }\n")
                  .status,
              0);
    EXPECT_EQ(myDisplay.width, 64);
    EXPECT_EQ(myDisplay.height, 48);
    EXPECT_EQ(iImageType, IMAGE_PPM);
    EXPECT_STREQ(myDisplay.outputName, "a.b");
    EXPECT_EQ(jitter, 1);
    EXPECT_EQ(iAntialias, ANTIALIAS_ADAPTIVE);
    EXPECT_EQ(adapt_dist, 9);
    EXPECT_EQ(myBackGroundColor.g, 0.2);
    EXPECT_EQ(myHaze.color.r, 2) << "haze colours are not range-checked";
    EXPECT_EQ(myHaze.factor, 0.5);
}

TEST_F(ParserTest, JpegQualityIsClamped) {
    const struct {
        int given;
        int kept;
    } cases[] = {{-5, 90}, {0, 90}, {150, 100}, {75, 75}, {100, 100}, {1, 1}};
    for (const auto& c : cases) {
        ASSERT_EQ(parseSceneText(kCamera + kSurface +
                                 "settings { output_type \"jpeg\" output_name \"a\" jpeg_quality " +
                                 std::to_string(c.given) + " }")
                      .status,
                  0);
        EXPECT_EQ(jpeg_quality, c.kept) << c.given;
    }
}

TEST_F(ParserTest, CameraErrors) {
    const std::string eye = "position <0 0 0> look_at <0 1 0>\n";
    expectParseErrors({
        {"no brace", "camera position <0 0 0>", 1, " Opening bracket '{' expected"},
        {"no samples", "camera {\nsamples 0", 2, " camera samples must be greater than 0"},
        {"negative samples", "camera {\ncamera_samples -1", 2,
         " camera samples must be greater than 0"},
        {"too many samples", "camera { samples 100000000 }", 1,
         " camera samples must be at most 1024"},
        {"projection", "camera { projection_type \"wide\" }", 1,
         " invalid camera projection type specified"},
        {"light key", "camera {\ncolor 1 1 1", 2, " Unkown parameter in camera structure"},
        {"no look_at", "camera {\nposition <0 0 0>\n}", 3,
         " error in camera structure declaration"},
        {"two positions", "camera {\n" + eye + "position <1 0 0> }", 3,
         " error in camera structure declaration"},
        {"focal length and point", "camera {\n" + eye + "focal_length 7 focal_point <0 5 0>\n}", 4,
         " focal lenght OR focal point must be defined"},
    });
}

TEST_F(ParserTest, CameraPresetsAndValues) {
    ASSERT_EQ(parseSceneText(kSettings + kSurface + kCamera).status, 0);
    EXPECT_EQ(myViewPoint.up.z, 1);
    EXPECT_DOUBLE_EQ(myViewPoint.fovH, std::numbers::pi / 8);
    EXPECT_DOUBLE_EQ(myViewPoint.ratio, 4.0 / 3.0);
    EXPECT_EQ(myViewPoint.aperture, 0);
    EXPECT_EQ(myViewPoint.focalLength, 10);
    EXPECT_EQ(myViewPoint.cameraSamples, 16);
    EXPECT_EQ(myViewPoint.projectionType, PROJECTION_FLAT);

    ASSERT_EQ(parseSceneText(kSettings + kSurface +
                             "camera { position <0 0 0> look_at <0 1 0> fov 90 ratio 2\n"
                             "  aperture 0.5 focal_point <3 0 4> samples 1\n"
                             "  projection_type \"fisheye\" up <1 0 0> }")
                  .status,
              0);
    EXPECT_DOUBLE_EQ(myViewPoint.fovH, std::numbers::pi / 4);
    EXPECT_EQ(myViewPoint.ratio, 2);
    EXPECT_EQ(myViewPoint.aperture, 0.5);
    EXPECT_DOUBLE_EQ(myViewPoint.focalLength, 5);
    EXPECT_EQ(myViewPoint.cameraSamples, 1);
    EXPECT_EQ(myViewPoint.projectionType, PROJECTION_FISHEYE);
    EXPECT_EQ(myViewPoint.up.x, 1);

    ASSERT_EQ(parseSceneText(kSettings + kSurface +
                             "camera { position <0 0 0> look_at <0 1 0> focal_length 3 "
                             "focal_length 8 }")
                  .status,
              0);
    EXPECT_EQ(myViewPoint.focalLength, 8) << "a repeated focal length keeps the last";
}

TEST_F(ParserTest, SurfaceErrors) {
    expectParseErrors({
        {"no brace", "surface color", 1, " Opening bracket '{' expected"},
        {"above one", "surface {\ncolor 1.01 0 0", 2, " invalid color component(s)"},
        {"too many reflection samples", "surface {\n\nreflection_samples 257", 3,
         " reflection samples must be at most 256"},
        {"below zero", "surface { color 0 -0.01 0 }", 1, " invalid color component(s)"},
        {"declared colour out of range", "declare \"hot\" color 2 0 0\nsurface {\ncolor #hot }", 3,
         " invalid color component(s)"},
        {"reflection type", "surface { reflection_type \"blurry\" }", 1,
         " invalid reflection type specified"},
        {"unknown key", "surface {\n\nradius 1", 3, " Unkown parameter in surface structure"},
    });
}

TEST_F(ParserTest, SurfaceValuesAndRefractionIndexFloor) {
    const Outcome outcome = parseSceneText(
        kSettings + kCamera +
        "surface { color 1 0.5 0 ambient 0.1 diffuse 0.2 brilliance 3 specular 0.4\n"
        "  roughness 20 reflection 0.6 reflection_type \"fuzzy\" reflection_samples 4\n"
        "  reflection_radius 0.3 refraction 0.7 refraction_index 0.5 }\n"
        "sphere { center <0 0 0> radius 1 }");
    ASSERT_EQ(outcome.status, 0);
    EXPECT_NE(outcome.output.find(" indice of refraction cannot be lower than 1.0"),
              std::string::npos);
    expectSameSurface(*myObjectList->surface, {.color = {1, 0.5, 0},
                                               .ambient = 0.1,
                                               .diffuse = 0.2,
                                               .brilliance = 3,
                                               .specular = 0.4,
                                               .roughness = 20,
                                               .reflection = 0.6,
                                               .reflectionType = REFLECTION_FUZZY,
                                               .reflectionSamples = 4,
                                               .reflectionRadius = 0.3,
                                               .refraction = 0.7,
                                               .refractionIndex = 1});
}

TEST_F(ParserTest, ObjectsTakeTheSurfaceAboveThem) {
    ASSERT_EQ(parseSceneText(kSettings + kCamera +
                             "sphere { center <0 0 0> radius 1 }\n"
                             "surface { color 0.5 0.5 0.5 diffuse 0.9 }\n"
                             "sphere { center <1 0 0> radius 1 }\n"
                             "surface { ambient 0.3 }\n"
                             "sphere { center <2 0 0> radius 1 }\n")
                  .status,
              0);
    // The list runs from the last object declared to the first.
    const ObjectRecord* third = myObjectList;
    const ObjectRecord* second = third->next;
    const ObjectRecord* first = second->next;
    EXPECT_EQ(third->surface->ambient, 0.3);
    EXPECT_EQ(third->surface->diffuse, 0) << "a surface block starts from the defaults";
    EXPECT_EQ(second->surface->diffuse, 0.9);
    EXPECT_EQ(second->surface->ambient, 0);
    EXPECT_EQ(first->surface->diffuse, 0) << "before any surface block: the defaults";
    EXPECT_EQ(first->surface->reflectionSamples, 10);
    EXPECT_EQ(first->surface->reflectionRadius, 1);
    EXPECT_EQ(first->surface->refractionIndex, 1);
}

TEST_F(ParserTest, DeclareErrors) {
    expectParseErrors({
        {"no colour keyword", "declare \"x\" 1 0 0", 1, " Unkown element in declaration"},
        {"reference instead of numbers", "declare \"x\" color # y", 1, " Decimal value expected"},
        {"unquoted name", "declare x color 1 0 0", 1, " string expected"},
        {"name too long for a colour", "declare \"" + std::string(64, 'c') + "\" color 1 0 0", 1,
         " color name longer than 63 characters"},
    });
}

TEST_F(ParserTest, DeclaredColoursAreUncheckedAndReleasedAfterTheParse) {
    ASSERT_EQ(parseSceneText(kSettings + kCamera + "declare \"" + std::string(63, 'c') +
                             "\" color 0.25 0.5 1\n"
                             "declare \"big\" color 7 -3 0\n"
                             "surface { color #" +
                             std::string(63, 'c') +
                             " }\n"
                             "sphere { center <0 0 0> radius 1 }")
                  .status,
              0);
    EXPECT_EQ(myObjectList->surface->color.r, 0.25);
    EXPECT_EQ(myObjectList->surface->color.b, 1);
    EXPECT_EQ(myColorList, nullptr);
}

TEST_F(ParserTest, IncludedFilesAreReadInPlace) {
    const TempDir dir;
    dir.write("colors.lms", "declare \"grey\" color 0.5 0.5 0.5\n");
    dir.write("objects.lms", "surface { color #grey }\nsphere { center <0 0 0> radius 2 }\n");
    const std::string scene = dir.write(
        "scene.lms", kSettings + kCamera + "include \"colors.lms\"\ninclude \"objects.lms\"\n");
    const Outcome outcome = parseSceneFile(scene);
    ASSERT_EQ(outcome.status, 0) << outcome.output;
    EXPECT_EQ(iNumSurface, 1);
    EXPECT_EQ(myObjectList->surface->color.g, 0.5);
    EXPECT_NE(outcome.output.find("\n Parsing " + (dir.path() / "objects.lms").string()),
              std::string::npos)
        << "an include is found beside the file that includes it";
}

TEST_F(ParserTest, ErrorsAfterAnIncludeReportTheirOwnLine) {
    const TempDir dir;
    dir.write("ten.lms", std::string(10, '\n'));
    const std::string scene =
        dir.write("scene.lms", "include \"ten.lms\"\n\nsphere { radius 0 }\n");
    const Outcome outcome = parseSceneFile(scene);
    EXPECT_TRUE(outcome.exited);
    EXPECT_TRUE(endsWithReport(outcome.output,
                               parseErrorReport(3, " sphere radius must be greater than 0")))
        << outcome.output;
}

TEST_F(ParserTest, ErrorsInsideAnIncludeNameItsFileAndLine) {
    const TempDir dir;
    dir.write("bad.lms", "; a comment\nsurface {\n  color 2 0 0\n}\n");
    const std::string scene = dir.write("scene.lms", "\ninclude \"bad.lms\"\n");
    const Outcome outcome = parseSceneFile(scene);
    EXPECT_TRUE(outcome.exited);
    const std::string bad = (dir.path() / "bad.lms").string();
    EXPECT_TRUE(endsWith(outcome.output, "\n Parser Error - line: 3 in " + bad +
                                             " -  invalid color component(s)\n " + bad +
                                             ":3: read \"0\"\n"))
        << outcome.output;
}

TEST_F(ParserTest, IncludeCyclesAndDeepNestingStop) {
    const TempDir dir;
    dir.write("a.lms", "include \"b.lms\"\n");
    dir.write("b.lms", "\ninclude \"a.lms\"\n");
    const std::string self = dir.write("self.lms", "include \"self.lms\"\n");
    const std::string cycle = (dir.path() / "a.lms").string();

    const Outcome selfOutcome = parseSceneFile(self);
    EXPECT_TRUE(selfOutcome.exited);
    EXPECT_NE(selfOutcome.output.find("Parser Error - line: 1 -  include cycle"), std::string::npos)
        << selfOutcome.output;

    const Outcome cycleOutcome = parseSceneFile(cycle);
    EXPECT_TRUE(cycleOutcome.exited);
    EXPECT_NE(cycleOutcome.output.find("Parser Error - line: 2 in " +
                                       (dir.path() / "b.lms").string() + " -  include cycle"),
              std::string::npos)
        << cycleOutcome.output;

    // A chain of distinct files deeper than any scene needs.
    for (int i = 0; i < 40; ++i) {
        dir.write("deep" + std::to_string(i) + ".lms",
                  "include \"deep" + std::to_string(i + 1) + ".lms\"\n");
    }
    dir.write("deep40.lms", "");
    const Outcome deep = parseSceneFile((dir.path() / "deep0.lms").string());
    EXPECT_TRUE(deep.exited);
    EXPECT_NE(deep.output.find("includes nested more than 32 files deep"), std::string::npos);
    EXPECT_EQ(comptligne, 1) << "the line count of the outer file comes back";
    EXPECT_TRUE(sourceName.empty());
}

TEST_F(ParserTest, UnopenableFilesEndTheRun) {
    const TempDir dir;
    const std::string missing = (dir.path() / "missing.lms").string();
    for (const std::string& path : {missing, dir.path().string()}) {
        const Outcome outcome = parseSceneFile(path);
        EXPECT_TRUE(outcome.exited);
        EXPECT_EQ(outcome.status, -1);
        EXPECT_EQ(outcome.output, "\n Scene file: " + path + " could no be opened\n");
    }
    const std::string scene = dir.write("scene.lms", "include \"nowhere.lms\"");
    const Outcome outcome = parseSceneFile(scene);
    EXPECT_TRUE(outcome.exited);
    EXPECT_TRUE(endsWith(outcome.output, "\n Scene file: nowhere.lms could no be opened\n"));
}

}  // namespace
