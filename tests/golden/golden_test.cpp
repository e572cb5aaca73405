// Golden pictures: every benchmark scene, rendered small in several anti-aliasing modes, must
// give exactly the bytes the renderer gave before its speed-ups. tests/golden/checksums.txt
// holds a checksum of each picture (bench/record_goldens.py recorded them), so a change that
// moves a single byte of any of them fails here, with no colour worked out by hand.
//
// The renders run inside this process so that each can be repeated with the traversal
// testing one box at a time, two and four; the threaded program is held to the same
// checksums from outside.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "accel/bound.h"
#include "accel/intersec.h"
#include "app/driver.h"
#include "model/fatal.h"
#include "render/trace.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;

const fs::path kScenesDir = LUMORA_GOLDEN_DIR;
const fs::path kChecksumsFile = LUMORA_GOLDEN_CHECKSUMS;

// The 64-bit FNV-1a hash, the checksum the recording script computes too.
std::uint64_t fnv1a64(const std::vector<unsigned char>& bytes) {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (unsigned char byte : bytes) {
        hash ^= byte;
        hash *= 0x100000001B3ull;
    }
    return hash;
}

std::string hex(std::uint64_t value) {
    std::ostringstream text;
    text << std::hex << std::setw(16) << std::setfill('0') << value;
    return text.str();
}

// One line of the checksums file: "scene mode WxH checksum arguments...".
struct GoldenCase {
    std::string scene;
    std::string mode;
    int width = 0;
    int height = 0;
    std::uint64_t checksum = 0;
    std::vector<std::string> arguments;  // run from the scenes' directory, output options aside

    std::string label() const {
        return scene + " " + mode + " " + std::to_string(width) + "x" + std::to_string(height);
    }
};

// How GoogleTest names a case in its messages.
void PrintTo(const GoldenCase& golden, std::ostream* out) {
    *out << golden.label();
}

// The case a line holds; nothing for a malformed line.
std::optional<GoldenCase> parseCaseLine(const std::string& line) {
    std::istringstream fields(line);
    GoldenCase golden;
    std::string size, checksum;
    if (!(fields >> golden.scene >> golden.mode >> size >> checksum)) return std::nullopt;
    char times = 0;
    std::istringstream dimensions(size);
    if (!(dimensions >> golden.width >> times >> golden.height) || times != 'x' ||
        checksum.size() != 16 ||
        checksum.find_first_not_of("0123456789abcdef") != std::string::npos) {
        return std::nullopt;
    }
    golden.checksum = std::stoull(checksum, nullptr, 16);
    for (std::string argument; fields >> argument;) golden.arguments.push_back(argument);
    if (golden.arguments.empty()) return std::nullopt;
    return golden;
}

bool isCommentOrBlank(const std::string& line) {
    const auto first = line.find_first_not_of(" \t");
    return first == std::string::npos || line[first] == '#';
}

std::vector<std::string> caseLines() {
    std::vector<std::string> lines;
    std::ifstream file(kChecksumsFile);
    for (std::string line; std::getline(file, line);) {
        if (!isCommentOrBlank(line)) lines.push_back(line);
    }
    return lines;
}

std::vector<GoldenCase> loadCases() {
    std::vector<GoldenCase> cases;
    for (const std::string& line : caseLines()) {
        if (auto golden = parseCaseLine(line)) cases.push_back(*golden);
    }
    return cases;
}

const GoldenCase* findCase(const std::vector<GoldenCase>& cases, const std::string& scene,
                           const std::string& mode) {
    for (const GoldenCase& golden : cases) {
        if (golden.scene == scene && golden.mode == mode) return &golden;
    }
    return nullptr;
}

// The case's picture has its size, and its pixels the recorded checksum.
void expectGolden(const GoldenCase& golden, const Picture& picture) {
    ASSERT_EQ(picture.width, golden.width) << golden.label() << ": no picture of its size";
    ASSERT_EQ(picture.height, golden.height) << golden.label() << ": no picture of its size";
    EXPECT_EQ(hex(fnv1a64(picture.pixels)), hex(golden.checksum))
        << golden.label() << ": the rendered checksum (first) is not the recorded one";
}

int differingPixels(const Picture& a, const Picture& b) {
    if (a.width != b.width || a.height != b.height) return -1;
    int count = 0;
    for (std::size_t i = 0; i + 2 < a.pixels.size(); i += 3) {
        if (a.pixels[i] != b.pixels[i] || a.pixels[i + 1] != b.pixels[i + 1] ||
            a.pixels[i + 2] != b.pixels[i + 2]) {
            ++count;
        }
    }
    return count;
}

// Runs in another directory for its lifetime: the cases name their files relative to the
// scenes' directory.
class WorkingDirectory {
  public:
    explicit WorkingDirectory(const fs::path& directory) : previous_(fs::current_path()) {
        fs::current_path(directory);
    }
    ~WorkingDirectory() { fs::current_path(previous_); }
    WorkingDirectory(const WorkingDirectory&) = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

  private:
    fs::path previous_;
};

// Puts the box tests back to the widest the processor allows, whatever the test set.
class WidestBoxTestsAfterwards {
  public:
    WidestBoxTestsAfterwards() = default;
    ~WidestBoxTestsAfterwards() { setBoxTestLanes(4); }
    WidestBoxTestsAfterwards(const WidestBoxTestsAfterwards&) = delete;
    WidestBoxTestsAfterwards& operator=(const WidestBoxTestsAfterwards&) = delete;
};

struct InProcessRender {
    Outcome outcome;
    Picture picture;
};

// One run of the program as main strings its phases together, on the case's arguments with a
// PPM written into `outputDir`.
InProcessRender renderInProcess(const GoldenCase& golden, const fs::path& outputDir) {
    const fs::path output = outputDir / "out";
    std::vector<std::string> words{"lumora"};
    words.insert(words.end(), golden.arguments.begin(), golden.arguments.end());
    words.insert(words.end(), {"-ppm", "-o", output.string()});
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());

    const WorkingDirectory inScenes(kScenesDir);
    resetScene();
    const Outcome outcome = captureRun([&] {
        parseArgs(argc, argv.data());
        if (loadScene() != 0) return kErrorStatus;
        parseArgs(argc, argv.data());
        checkImageSize();
        buildBoundingSlabs();
        doTrace();
        return 0;
    });
    return {outcome, readPpm(output.string() + ".ppm")};
}

std::string testName(const testing::TestParamInfo<GoldenCase>& info) {
    std::string name = info.param.scene + "_" + info.param.mode;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    return name;
}

const char* const kMissingScenes =
    "the scenes are generated by the golden_scenes fixture of ctest, or by hand with "
    "python3 bench/scenes.py ";

class GoldenPicture : public SceneTest, public testing::WithParamInterface<GoldenCase> {
  protected:
    void SetUp() override {
        SceneTest::SetUp();
        ASSERT_TRUE(fs::is_directory(kScenesDir)) << kMissingScenes << kScenesDir;
    }
};

TEST_P(GoldenPicture, MatchesItsChecksumTestingOneTwoOrFourBoxesAtATime) {
    const GoldenCase& golden = GetParam();
    const WidestBoxTestsAfterwards restoreLanes;
    std::vector<Picture> pictures;
    for (int lanes : {1, 2, 4}) {
        const int lanesSet = setBoxTestLanes(lanes);
        SCOPED_TRACE(testing::Message() << lanesSet << " box test lanes");
        const TempDir output;
        const InProcessRender render = renderInProcess(golden, output.path());
        ASSERT_EQ(render.outcome.status, 0) << render.outcome.output;
        expectGolden(golden, render.picture);
        pictures.push_back(render.picture);
    }
    for (std::size_t wider = 1; wider < pictures.size(); ++wider) {
        EXPECT_EQ(differingPixels(pictures[0], pictures[wider]), 0)
            << golden.label() << ": pixels that differ from one lane with " << (1 << wider);
    }
}

INSTANTIATE_TEST_SUITE_P(Scenes, GoldenPicture, testing::ValuesIn(loadCases()), testName);

TEST(GoldenChecksums, EveryLineIsACase) {
    const std::vector<std::string> lines = caseLines();
    ASSERT_FALSE(lines.empty()) << "no cases in " << kChecksumsFile;
    for (const std::string& line : lines) {
        EXPECT_TRUE(parseCaseLine(line).has_value()) << "malformed line: " << line;
    }
}

TEST(GoldenChecksums, HashIsTheStandardFnv1a64) {
    const struct {
        std::string text;
        std::uint64_t hash;
    } cases[] = {
        {"", 0xcbf29ce484222325ull},
        {"a", 0xaf63dc4c8601ec8cull},
        {"foobar", 0x85944171f73967e8ull},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fnv1a64({c.text.begin(), c.text.end()}), c.hash) << '"' << c.text << '"';
    }
}

// The threaded program, on two threads, gives the recorded bytes too: a case with random
// draws and jitter, whose streams must not depend on the thread, and one whose work lies in
// half the picture, so that the threads take rows from each other's bands, with quick
// anti-aliasing's corner samples shared between rows.
TEST(GoldenThreadedProgram, MatchesTheChecksumsOnTwoThreads) {
    ASSERT_TRUE(fs::is_directory(kScenesDir)) << kMissingScenes << kScenesDir;
    const std::vector<GoldenCase> cases = loadCases();
    const struct {
        const char* scene;
        const char* mode;
    } chosen[] = {{"softshadow", "scene+jitter"}, {"lowerhalf", "quick"}};
    for (const auto& [scene, mode] : chosen) {
        const GoldenCase* golden = findCase(cases, scene, mode);
        ASSERT_NE(golden, nullptr) << "no case " << scene << " " << mode;
        SCOPED_TRACE(golden->label());
        const TempDir output;
        std::vector<std::string> arguments = golden->arguments;
        arguments.insert(arguments.end(),
                         {"-t", "2", "-ppm", "-o", (output.path() / "out").string()});
        const ProgramRun run = runProgram(LUMORA_MT_BIN, arguments, kScenesDir);
        ASSERT_EQ(run.exitStatus, 0) << run.output;
        expectGolden(*golden, readPpm(output.path() / "out.ppm"));
    }
}

}  // namespace
