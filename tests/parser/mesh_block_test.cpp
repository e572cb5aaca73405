// The mesh statement: its messages, its summary lines, and models placed, shaded and coloured
// as the block says, checked through rendered pixels.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "importmodel/model_writers.h"
#include "model/globals.h"
#include "parser/parser_test_support.h"

namespace {

const std::string kFrame =
    "settings { output_type \"ppm\" output_name \"pic\" }\n"
    "camera { position <0 0 20> look_at <0 0 0> up <0 1 0> }\n"
    "light { position <0 0 30> color 1 1 1 attenuation_type \"none\" }\n"
    "surface { color 0 1 0 ambient 0.2 diffuse 0.8 }\n";

class MeshBlock : public ParserTest {
  protected:
    MeshBlock() {
        dir_.write("cube.mtl", cube::objMaterial("1 0 0"));
        dir_.write("cube.obj", cube::obj());
        dir_.write("points.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n");
        dir_.write("notes.xyz", "hello\n");
    }
    // Parses the frame followed by `objects`, from a scene file beside the models.
    Outcome parse(const std::string& objects) {
        return parseSceneFile(dir_.write("scene.lms", kFrame + objects));
    }
    TempDir dir_;
};

TEST_F(MeshBlock, Errors) {
    const struct {
        const char* what;
        std::string block;
        int line;
        std::string message;
    } cases[] = {
        {"no file", "mesh { smooth }", 5, " error in mesh structure declaration"},
        {"two files", "mesh { file \"cube.obj\"\nfile \"cube.obj\" }", 6,
         " error in mesh structure declaration"},
        {"no brace", "mesh file", 5, " Opening bracket '{' expected"},
        {"zero scale", "mesh { scale <1 0 1> }", 5, " mesh scale cannot be 0"},
        {"scale without a value", "mesh { scale \"big\" }", 5, " Decimal value or vector expected"},
        {"materials", "mesh { materials \"mtl\" }", 5, " invalid materials source specified"},
        {"unknown key", "mesh { center <0 0 0> }", 5, " Unkown parameter in mesh structure"},
        {"missing file", "mesh { file \"none.obj\" }", 5,
         " mesh file none.obj could not be read: Unable to open file \"none.obj\"."},
        {"unknown format", "mesh {\nfile \"notes.xyz\" }", 6,
         " mesh file notes.xyz could not be read: No suitable reader found for the file format "
         "of file \"" + (dir_.path() / "notes.xyz").string() + "\"."},
        {"no faces", "mesh { file \"points.obj\" }", 5,
         " mesh file points.obj could not be read: the model has no faces"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectParseFailure(parse(c.block), c.line, c.message);
    }
}

TEST_F(MeshBlock, CountsItsFacesInTheirOwnSummaryLines) {
    const Outcome outcome = parse("mesh { file \"cube.obj\" }\nmesh { file \"cube.obj\" flat }\n");
    ASSERT_FALSE(outcome.exited) << outcome.output;
    EXPECT_NE(outcome.output.find(" Number of light(s):\t\t1\n Number of mesh(es):\t\t2\n"
                                  " Number of mesh face(s):\t24\n"),
              std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find(" Number of triangle(s):\t\t0\n"), std::string::npos);
    EXPECT_EQ(nPrims, 24);

    const Outcome plain = parse("");
    EXPECT_EQ(plain.output.find("mesh"), std::string::npos);
}

// Renders the frame with `objects` from above, 100 x 75, and returns the picture.
Picture renderFromAbove(const TempDir& dir, const std::string& objects) {
    dir.write("scene.lms", kFrame + objects);
    const ProgramRun run =
        runProgram(LUMORA_BIN, {"-i", "scene.lms", "-aan", "-r", "100", "75"}, dir.path());
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    return readPpm(dir.path() / "pic.ppm");
}

struct Rgb {
    int r, g, b;
};

Rgb at(const Picture& picture, int column, int row) {
    const std::size_t i = 3 * (static_cast<std::size_t>(row) * picture.width + column);
    return {picture.pixels[i], picture.pixels[i + 1], picture.pixels[i + 2]};
}

// The camera at height 20 sees 45 degrees across 100 columns: a point (x, y) of the plane
// z = h falls on column 50 + x * 50 / (tan(22.5 degrees) * (20 - h)).
int columnOf(double x, double h) {
    return static_cast<int>(50 + x * 50 / (0.41421356 * (20 - h)));
}
int rowOf(double y, double h) {
    return static_cast<int>(37.5 - y * 50 / (0.41421356 * (20 - h)));
}

TEST_F(MeshBlock, IsPlacedByScaleRotateAndTranslate) {
    // The cube, halved along x, turned a quarter about z (so it is long along x), moved.
    const Picture picture = renderFromAbove(
        dir_, "mesh { file \"cube.obj\" scale <0.5 2 1> rotate <0 0 90> translate <3 1 0> }");
    ASSERT_EQ(picture.width, 100);
    // Now 4 long along x and 1 wide along y, around (3, 1), its top at z = 1.
    const struct {
        double x, y;
        bool covered;
    } points[] = {
        {3, 1, true},       {1.2, 1, true},   {4.8, 1, true},   {3, 1.4, true},
        {3, 0.2, false},    {3, 1.8, false},  {0.5, 1, false},  {5.5, 1, false},
        {0, 0, false},
    };
    for (const auto& p : points) {
        const Rgb c = at(picture, columnOf(p.x, 1), rowOf(p.y, 1));
        EXPECT_EQ(c.g > 0, p.covered) << p.x << ", " << p.y << ": " << c.r << ' ' << c.g;
    }
}

TEST_F(MeshBlock, TakesTheMaterialColoursOnlyWhenAsked) {
    const Picture own = renderFromAbove(dir_, "mesh { file \"cube.obj\" }");
    const Picture file = renderFromAbove(dir_, "mesh { file \"cube.obj\" materials \"file\" }");
    const Rgb green = at(own, 50, 37);
    const Rgb red = at(file, 50, 37);
    EXPECT_TRUE(green.g > 100 && green.r == 0 && green.b == 0);
    EXPECT_TRUE(red.r > 100 && red.g == 0 && red.b == 0);
    // Only the colour changes: the same light on the same face.
    EXPECT_EQ(green.g, red.r);
}

// The top face seen from above: flat, it is lit alike everywhere but for the light's slowly
// changing direction; smooth, its normals lean out towards its corners and it darkens there.
TEST_F(MeshBlock, FlatFacesAreEvenAndSmoothOnesAreShaded) {
    const auto spread = [&](const char* shading) {
        const Picture picture =
            renderFromAbove(dir_, std::string("mesh { file \"cube.obj\" scale 4 ") + shading + " }");
        int low = 255, high = 0;
        for (int row = rowOf(3.5, 4); row <= rowOf(-3.5, 4); ++row) {
            for (int column = columnOf(-3.5, 4); column <= columnOf(3.5, 4); ++column) {
                low = std::min(low, at(picture, column, row).g);
                high = std::max(high, at(picture, column, row).g);
            }
        }
        return high - low;
    };
    EXPECT_LT(spread("flat"), 25);
    EXPECT_GT(spread("smooth"), 60);
}

}  // namespace

namespace {

// The shipped OBJ example is what its script writes, and renders with all its faces.
TEST(MeshExample, TheKnotIsItsScriptsOutputAndRenders) {
    const TempDir dir;
    const std::string examples = LUMORA_EXAMPLES_DIR;
    const ProgramRun script = runProgram(
        "/usr/bin/env", {"python3", examples + "/make_model_obj.py", dir.path().string()}, ".");
    ASSERT_EQ(script.exitStatus, 0) << script.output;
    for (const char* name : {"knot.obj", "knot.mtl"}) {
        std::ifstream shipped(examples + "/" + name), written(dir.path() / name);
        const std::string a{std::istreambuf_iterator<char>(shipped), {}};
        const std::string b{std::istreambuf_iterator<char>(written), {}};
        EXPECT_FALSE(a.empty()) << name;
        EXPECT_EQ(a, b) << name << " differs from what make_model_obj.py writes";
    }
    const ProgramRun run =
        runProgram(LUMORA_BIN,
                   {"-i", examples + "/knot.lms", "-r", "32", "24", "-aan", "-ppm", "-o",
                    (dir.path() / "knot").string()},
                   dir.path());
    ASSERT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_NE(run.output.find(" Number of mesh face(s):\t8640\n"), std::string::npos);
    EXPECT_EQ(readPpm(dir.path() / "knot.ppm").width, 32);
}

}  // namespace

namespace {

// A model converted by a tool other than ours (the importing library's own "assimp export")
// into the other formats shows the same silhouette in each: the cube with one corner pulled
// up, so that a turned or mirrored copy would not match.
TEST(MeshFormats, AModelConvertedToEveryFormatShowsTheSameSilhouette) {
    const TempDir dir;
    std::string model = cube::obj();
    const std::string corner = "v 1.000000 1.000000 1.000000";
    model.replace(model.find(corner), corner.size(), "v 1.000000 1.000000 2.500000");
    dir.write("cube.obj", model);
    dir.write("cube.mtl", cube::objMaterial("1 0 0"));

    const auto silhouette = [&](const std::string& file) {
        dir.write("scene.lms",
                  "settings { output_type \"ppm\" output_name \"pic\" background 0 0 1 }\n"
                  "camera { position <5 -7 6> look_at <0 0 0.5> }\n"
                  "surface { color 1 1 1 ambient 1 }\n"
                  "mesh { file \"" + file + "\" flat }\n");
        const ProgramRun run =
            runProgram(LUMORA_BIN, {"-i", "scene.lms", "-aan", "-r", "64", "48"}, dir.path());
        EXPECT_EQ(run.exitStatus, 0) << run.output;
        const Picture picture = readPpm(dir.path() / "pic.ppm");
        std::vector<bool> covered;
        for (std::size_t i = 0; i < picture.pixels.size(); i += 3) {
            covered.push_back(picture.pixels[i] > 0);
        }
        return covered;
    };
    const std::vector<bool> reference = silhouette("cube.obj");
    ASSERT_EQ(reference.size(), 64u * 48);
    EXPECT_GT(std::count(reference.begin(), reference.end(), true), 300);
    // assimp 5.2.5 cannot read back its own binary FBX: the ASCII one stands for the format.
    const struct {
        const char* name;
        const char* format;
    } conversions[] = {{"converted.stl", "stl"},   {"converted.ply", "ply"},
                       {"converted.gltf", "gltf2"}, {"converted.glb", "glb2"},
                       {"converted.dae", "collada"}, {"converted.fbx", "fbxa"}};
    for (const auto& [name, format] : conversions) {
        SCOPED_TRACE(name);
        const ProgramRun convert = runProgram(
            "assimp", {"export", "cube.obj", name, std::string("-f") + format}, dir.path());
        ASSERT_EQ(convert.exitStatus, 0) << convert.output;
        EXPECT_EQ(silhouette(name), reference);
    }
}

}  // namespace
