#include "render/scan.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "accel/bound.h"
#include "image/image.h"
#include "model/globals.h"
#include "render/camera.h"
#include "test_support.h"

namespace {

using ScanRoutine = void (*)(int index, RowScheduler& rows, TraceContext& context);

struct NamedRoutine {
    const char* name;
    ScanRoutine scan;
};
constexpr NamedRoutine kRoutines[] = {
    {"none", scanNone}, {"quick", scanCorners}, {"adaptive", scanAdaptive}};

using Pixel = std::array<int, 3>;

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> bytes;  // R, G, B, row 0 first

    Pixel at(int c, int r) const {
        const std::size_t i = (static_cast<std::size_t>(r) * width + c) * 3;
        return {bytes[i], bytes[i + 1], bytes[i + 2]};
    }
    bool operator==(const Picture&) const = default;
};

Picture readPpm(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string magic;
    int maximum = 0;
    Picture picture;
    file >> magic >> picture.width >> picture.height >> maximum;
    file.get();  // the one newline before the pixels
    picture.bytes.assign(std::istreambuf_iterator<char>(file), {});
    EXPECT_EQ(magic, "P6");
    EXPECT_EQ(picture.bytes.size(), static_cast<std::size_t>(picture.width) * picture.height * 3);
    return picture;
}

// Nothing in front of the camera: every ray sees the background. The one sphere, behind the
// camera, is there because the traversal needs a scene to walk.
constexpr const char* kEmptyView =
    "camera { position <0 0 0> look_at <0 1 0> }\n"
    "surface { color 1 1 1 ambient 1 }\n"
    "sphere { center <0 -50 0> radius 1 }\n";

// Edges, highlights and a reflection, all without random sampling.
constexpr const char* kSpheresView =
    "camera { position <0 -3 1> look_at <0 5 0> fov 60 }\n"
    "light { position <-5 -5 10> color 1 1 1 attenuation_type \"none\" }\n"
    "surface { color 1 0.2 0.1 ambient 0.1 diffuse 0.9 specular 0.6 roughness 20 }\n"
    "sphere { center <0 5 0> radius 1.5 }\n"
    "sphere { center <2.5 7 1> radius 1 }\n"
    "surface { color 0.2 0.9 0.3 ambient 0.2 diffuse 0.7 reflection 0.3 }\n"
    "plane { normal <0 0 1> distance -1.5 }\n";

class ScanTest : public SceneTest {
  protected:
    // Loads `view` into a width x height scene written as PPM, and sets the camera up.
    void load(const std::string& view, int width, int height, const std::string& settings = "") {
        const std::string scene =
            "settings { display " + std::to_string(width) + " " + std::to_string(height) +
            " output_type \"ppm\" output_name \"picture\" " + settings + " }\n" + view;
        const Outcome parsed = parseSceneText(scene);
        ASSERT_EQ(parsed.status, 0) << parsed.output;
        // A quoted name holds no path: the picture goes to the test's own directory.
        std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s",
                      outputName().c_str());
        buildBoundingSlabs();
        computeCameraFrame();
    }

    std::string outputName() const { return (directory.path() / "picture").string(); }

    // Renders the bands [boundaries[k], boundaries[k + 1]) one after the other, each as a
    // thread that had only that band would; counts the samples they shoot.
    Picture render(ScanRoutine scan, const std::vector<int>& boundaries) {
        samples = 0;
        const Outcome run = captureRun([&] {
            openImage(myDisplay.outputName, myDisplay.width, myDisplay.height);
            for (std::size_t k = 0; k + 1 < boundaries.size(); ++k) {
                const RowBand band{boundaries[k], boundaries[k + 1]};
                RowScheduler rows(std::span<const RowBand>(&band, 1));
                TraceContext context;
                scan(0, rows, context);
                samples += context.rays.primary;
            }
            closeImage();
            return 0;
        });
        EXPECT_FALSE(run.exited) << run.output;
        return readPpm(outputName() + ".ppm");
    }

    Picture renderWhole(ScanRoutine scan) { return render(scan, {0, myDisplay.height}); }

    TempDir directory;
    long samples = 0;
};

TEST(ScanBytes, ComponentsBecomeBytesByTruncation) {
    struct Case {
        double component;
        int byte;
    };
    const Case colours[] = {
        {1, 255},
        {0.5, 127},
        {0, 0},
        {0.999, 254},
        {0.25, 63},
        // Below 0 the low 8 bits of the truncated value wrap around.
        {-0.5, 129},
        {-1, 1},
    };
    for (const Case& c : colours) EXPECT_EQ(colorByte(c.component), c.byte) << c.component;

    const Case values[] = {{255.9, 255},
                           {127.5, 127},
                           {256, 0},
                           {300, 44},
                           {-1, 255},
                           {-0.9, 0},
                           {std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const Case& c : values) EXPECT_EQ(truncateToByte(c.component), c.byte) << c.component;
}

TEST_F(ScanTest, OneSamplePerPixelGivesTheColourBytes) {
    load(kEmptyView, 7, 5);
    myBackGroundColor = {1, 0.5, -0.5};
    const Picture picture = renderWhole(scanNone);
    EXPECT_EQ(samples, 7 * 5);
    for (int r = 0; r < 5; ++r)
        for (int c = 0; c < 7; ++c) EXPECT_EQ(picture.at(c, r), (Pixel{255, 127, 129}));
}

// The render threads of the multithreaded program scan runs of rows; the picture must not
// depend on where the runs meet, random sampling included: every sample draws its numbers
// from a stream of its own.
TEST_F(ScanTest, BandsGiveTheSameBytesAsTheWholeImage) {
    constexpr int kHeight = 13;  // a multiple of no thread count
    load(std::string(kSpheresView) +
             "light { position <4 -4 6> color 0.5 0.5 0.5 attenuation_type \"none\" "
             "shadow_type \"smooth\" radius 1 samples 5 }\n",
         20, kHeight, "aa_distance 16 jitter \"yes\"");
    std::vector<std::vector<int>> splits = {{0, 1, kHeight}, {0, 6, 6, 7, kHeight}};
    for (int threads : {2, 4, 8}) {
        std::vector<int> boundaries;
        for (int k = 0; k <= threads; ++k) boundaries.push_back(k * kHeight / threads);
        splits.push_back(boundaries);
    }
    for (const NamedRoutine& routine : kRoutines) {
        SCOPED_TRACE(routine.name);
        const Picture whole = renderWhole(routine.scan);
        for (const std::vector<int>& boundaries : splits) {
            SCOPED_TRACE(testing::PrintToString(boundaries));
            EXPECT_TRUE(render(routine.scan, boundaries) == whole);
        }
    }
}

// Quick anti-aliasing samples the pixel centres, and each pixel takes the integer average
// of the four samples around its bottom-right corner.
TEST_F(ScanTest, QuickPixelsAverageTheSamplesAroundTheirCorner) {
    constexpr int kWidth = 32, kHeight = 24;
    load(kSpheresView, kWidth, kHeight);
    const Picture centres = renderWhole(scanNone);
    const Picture quick = renderWhole(scanCorners);

    int edges = 0;
    for (int r = 1; r < kHeight; ++r) {
        for (int c = 0; c + 1 < kWidth; ++c) {
            const Pixel around[] = {centres.at(c, r - 1), centres.at(c + 1, r - 1),
                                    centres.at(c, r), centres.at(c + 1, r)};
            Pixel expected;
            for (int k = 0; k < 3; ++k)
                expected[k] = (around[0][k] + around[1][k] + around[2][k] + around[3][k]) / 4;
            EXPECT_EQ(quick.at(c, r), expected) << "pixel " << c << ", " << r;
            if (around[0] != around[3] || around[1] != around[2]) ++edges;
        }
    }
    EXPECT_GT(edges, 20);  // the scene does have edges to smooth
}

// Every band samples one row above it, so each of its rows gets a pixel, and a uniform
// picture stays uniform in every row.
TEST_F(ScanTest, QuickWritesEveryRowOfEveryBand) {
    constexpr int kWidth = 6, kHeight = 9;
    load(kEmptyView, kWidth, kHeight, "background 0.5 0.25 1");
    const std::vector<int> boundaries = {0, 1, 5, 5, kHeight};  // an empty band traces nothing
    const Picture picture = render(scanCorners, boundaries);
    for (int r = 0; r < kHeight; ++r)
        for (int c = 0; c < kWidth; ++c) EXPECT_EQ(picture.at(c, r), (Pixel{127, 63, 255}));
    // (R + 1) sample rows of width + 1 per band of R rows.
    EXPECT_EQ(samples, (1 + 1 + 4 + 1 + 4 + 1) * (kWidth + 1));
}

// In an even area a pixel needs only its bottom-right corner; a row starts with three new
// corners and a band's first row traces its top edge as well: (R + 1) x width + 2R per band.
TEST_F(ScanTest, AdaptiveTracesEachCornerOnceInAnEvenImage) {
    constexpr int kWidth = 9, kHeight = 8;
    load(kEmptyView, kWidth, kHeight, "background 0.5 0.25 1");
    struct Case {
        std::vector<int> boundaries;
        long samples;
    };
    const Case cases[] = {
        {{0, kHeight}, 9 * kWidth + 2 * 8},
        {{0, 1, kHeight}, 2 * kWidth + 2 + 8 * kWidth + 2 * 7},
        {{0, 4, kHeight}, 2 * (5 * kWidth + 2 * 4)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.boundaries));
        const Picture picture = render(scanAdaptive, c.boundaries);
        EXPECT_EQ(samples, c.samples);
        for (int r = 0; r < kHeight; ++r)
            for (int col = 0; col < kWidth; ++col)
                EXPECT_EQ(picture.at(col, r), (Pixel{127, 63, 255}));
    }
}

// A threshold above every byte difference never splits, even where the picture has edges;
// one of 0 or below splits every pixel and traces the whole quarter-pixel lattice of the
// band (plus the first point of every further row, which has no left neighbour).
TEST_F(ScanTest, AdaptiveCostFollowsTheThreshold) {
    constexpr int kWidth = 16, kHeight = 12;
    load(kSpheresView, kWidth, kHeight);
    const long even = (kHeight + 1) * kWidth + 2 * kHeight;
    const long lattice = (4 * kWidth + 1) * (4 * kHeight + 1) + kHeight - 1;

    adapt_dist = 256;
    renderWhole(scanAdaptive);
    EXPECT_EQ(samples, even);
    for (int threshold : {0, -5}) {
        adapt_dist = threshold;
        renderWhole(scanAdaptive);
        EXPECT_EQ(samples, lattice) << threshold;
    }
    adapt_dist = 32;
    renderWhole(scanAdaptive);
    EXPECT_GT(samples, even);
    EXPECT_LT(samples, lattice);
}

// A grid whose 25 cells are all traced already: adapt then only averages and decides.
class AdaptGridTest : public ScanTest {
  protected:
    static PixelGrid fullGrid(const int (&channel)[5][5], int k) {
        PixelGrid grid{};
        for (int i = 0; i < kGridSize; ++i) {
            for (int j = 0; j < kGridSize; ++j) {
                grid.cell[i][j] = {{10, 10, 10}, true};
                grid.cell[i][j].rgb[k] = static_cast<unsigned char>(channel[j][i]);
            }
        }
        return grid;
    }
};

TEST_F(AdaptGridTest, SplitsWhereACornerIsAdaptDistFromTheAverage) {
    // Rows j = 0 ... 4 of the pixel; the corners are the four extremes.
    // Corners 0, 0, 0, 200 average 50; the 200 corner is 150 away. Split in four, the side-2
    // squares average 75 (a 0 corner 75 away) and 125 (the 200 corner 75 away).
    constexpr int kOneBrightCorner[5][5] = {{0, 100, 100, 100, 0},
                                            {100, 100, 100, 100, 100},
                                            {100, 100, 100, 100, 100},
                                            {100, 100, 100, 100, 100},
                                            {0, 100, 100, 100, 200}};
    // Corners 255, 0, 0, 0 average 63, 192 away from the bright corner.
    constexpr int kOneWhiteCorner[5][5] = {
        {255, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}, {0, 0, 0, 0, 0}};
    struct Case {
        const int (*channel)[5][5];
        int adaptDist;
        int expected;
    };
    const Case cases[] = {
        {&kOneBrightCorner, 151, 50},  // 150 away: no split
        {&kOneBrightCorner, 150, 87},  // exactly adapt_dist: (75 + 75 + 75 + 125) / 4
        {&kOneBrightCorner, 76, 87},   // the side-2 squares hold
        // Quarter squares: 75 by a 0 corner, 125 by the 200 one, 100 elsewhere; the side-2
        // squares then make 93, 93, 93 and 106.
        {&kOneBrightCorner, 75, 96},
        {&kOneBrightCorner, 0, 96},
        {&kOneBrightCorner, -5, 96},
        {&kOneWhiteCorner, 193, 63},
        {&kOneWhiteCorner, 64, 3},  // 63 / 4 in the corner square, then / 4 again
    };
    for (const Case& c : cases) {
        for (int k = 0; k < 3; ++k) {
            SCOPED_TRACE(testing::Message() << "adapt_dist " << c.adaptDist << ", channel " << k);
            adapt_dist = c.adaptDist;
            PixelGrid grid = fullGrid(*c.channel, k);
            Ray ray{{0, 0, 0}, {0, 1, 0}};
            TraceContext context;
            Color result{-1, -1, -1};
            adapt(0, 0, 2, 3, result, 4, ray, context, grid);
            EXPECT_EQ(context.rays.primary, 0);  // every corner was there already
            const double colour[3] = {result.r, result.g, result.b};
            for (int other = 0; other < 3; ++other)
                EXPECT_EQ(colour[other], other == k ? c.expected : 10);
        }
    }
}

// Jitter moves the samples within their pixels: edges change, and a uniform view does not.
TEST_F(ScanTest, JitterMovesSamplesButNotAUniformView) {
    load(kEmptyView, 5, 4, "jitter \"yes\" background 0.5 0.25 1");
    for (const NamedRoutine& routine : kRoutines) {
        SCOPED_TRACE(routine.name);
        const Picture picture = renderWhole(routine.scan);
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 5; ++c) EXPECT_EQ(picture.at(c, r), (Pixel{127, 63, 255}));
    }

    load(kSpheresView, 32, 24);
    for (const NamedRoutine& routine : kRoutines) {
        SCOPED_TRACE(routine.name);
        jitter = 0;
        const Picture still = renderWhole(routine.scan);
        jitter = 1;
        const Picture jittered = renderWhole(routine.scan);
        EXPECT_FALSE(jittered == still);
        EXPECT_TRUE(renderWhole(routine.scan) == jittered);  // the same numbers every time
    }
}

class ProgressTest : public testing::Test {
  protected:
    void SetUp() override { resetScene(); }
    void TearDown() override { resetScene(); }

    static std::string printed(void (*call)()) {
        testing::internal::CaptureStdout();
        call();
        return testing::internal::GetCapturedStdout();
    }
};

TEST_F(ProgressTest, ScaleLeavesRoomForAnEleventhStep) {
    const std::string tenSteps = "\n 0%" + std::string(54, '-') + "100%\n ";
    const std::string elevenSteps = "\n 0%" + std::string(60, '-') + "100%\n ";
    struct Case {
        int height;
        std::string scale;
    };
    for (const Case& c :
         {Case{240, tenSteps}, Case{10, tenSteps}, Case{245, elevenSteps}, Case{7, elevenSteps}}) {
        myDisplay.height = c.height;
        EXPECT_EQ(printed(showProgressInit), c.scale) << c.height;
    }
}

TEST_F(ProgressTest, SixShadedBlocksForEveryStepOfRows) {
    const std::string marks = "\u2592\u2592\u2592\u2592\u2592\u2592";
    ASSERT_EQ(marks.size(), 18u);
    struct Case {
        int height;
        std::vector<int> markedRows;
    };
    const Case cases[] = {
        {240, {0, 24, 48, 72, 96, 120, 144, 168, 192, 216}},
        {245, {0, 24, 48, 72, 96, 120, 144, 168, 192, 216, 240}},
        {10, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}},
        // Under ten rows the step would be 0: every row is marked.
        {7, {0, 1, 2, 3, 4, 5, 6}},
        {1, {0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.height);
        myDisplay.height = c.height;
        std::vector<int> marked;
        for (int row = 0; row < c.height; ++row) {
            testing::internal::CaptureStdout();
            showProgress(row);
            const std::string out = testing::internal::GetCapturedStdout();
            if (out.empty()) continue;
            EXPECT_EQ(out, marks) << "row " << row;
            marked.push_back(row);
        }
        EXPECT_EQ(marked, c.markedRows);
    }
}

}  // namespace
