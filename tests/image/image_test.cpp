#include "image/image.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "model/fatal.h"
#include "model/globals.h"
#include "test_support.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Outcome captured(const std::function<void()>& call) {
    Outcome outcome{0, false, ""};
    testing::internal::CaptureStdout();
    try {
        call();
    } catch (const ProgramExit& exit) {
        outcome.status = exit.status();
        outcome.exited = true;
    }
    std::fflush(stdout);
    outcome.output = testing::internal::GetCapturedStdout();
    return outcome;
}

// Row y of the test pictures, R,G,B. Red and blue differ everywhere and each pixel of a small
// picture has its own red, so a channel swap or a misplaced row shows.
Bytes line(int width, int y) {
    Bytes bytes(3 * static_cast<std::size_t>(width));
    for (int x = 0; x < width; ++x) {
        bytes[3 * x] = static_cast<unsigned char>(1 + x + 16 * y);
        bytes[3 * x + 1] = static_cast<unsigned char>(100 + x);
        bytes[3 * x + 2] = static_cast<unsigned char>(200 + y);
    }
    return bytes;
}

Bytes swapRedBlue(Bytes bytes) {
    for (std::size_t i = 0; i < bytes.size(); i += 3) std::swap(bytes[i], bytes[i + 2]);
    return bytes;
}

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// What a shell command prints on standard output (its errors go with it, for the failure
// message).
std::string commandOutput(const std::string& command) {
    std::string output;
    if (FILE* pipe = popen((command + " 2>&1").c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;) output += static_cast<char>(c);
        pclose(pipe);
    }
    return output;
}

// The run was ended with status 255 after printing exactly `message`.
void expectEnded(const Outcome& outcome, const std::string& message) {
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, kErrorStatus);
    EXPECT_EQ(outcome.output, message);
}

const char* const kExtensions[] = {".tga", ".bmp", ".ppm"};  // by iImageType

unsigned readLittleEndian32(const Bytes& bytes, std::size_t at) {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | unsigned(bytes[at + 3]) << 24;
}

class ImageTest : public testing::Test {
  protected:
    void TearDown() override {
        abandonImage();
        iImageType = IMAGE_BMP;
    }

    // Opens, writes every row of line() pictures bottom row first, and closes.
    Outcome render(int type, const fs::path& name, int width, int height) {
        iImageType = type;
        return captured([&] {
            openImage(name.c_str(), width, height);
            for (int y = height - 1; y >= 0; --y) {
                Bytes row = line(width, y);
                writeImageLine(row.data(), y);
            }
            closeImage();
        });
    }

    std::set<std::string> entries() const {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    TempDir dir;
};

TEST_F(ImageTest, SmallPictureFilesByteForByte) {
    // 2 x 2 pictures of line(): rows (1,100,200) (2,101,200) and (17,100,201) (18,101,201).
    const struct {
        int type;
        Bytes file;
    } cases[] = {
        // clang-format off
        {IMAGE_TGA, {0, 0, 2, 0, 0, 0, 0, 0,   // no identification, true colour, no colour map
                     0, 0, 0, 0, 2, 0, 2, 0,   // origin, width, height
                     24, 0x20,                 // bits per pixel, top row first
                     200, 100, 1, 200, 101, 2, 201, 100, 17, 201, 101, 18}},
        {IMAGE_BMP, {'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,   // file header
                     40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,  // 40, width, height, 1, 24
                     0, 0, 0, 0, 16, 0, 0, 0,                           // compression, data size
                     0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,    // resolution, colours
                     201, 100, 17, 201, 101, 18, 0, 0,                  // bottom row first
                     200, 100, 1, 200, 101, 2, 0, 0}},
        {IMAGE_PPM, {'P', '6', '\n', '2', ' ', '2', '\n', '2', '5', '5', '\n',
                     1, 100, 200, 2, 101, 200, 17, 100, 201, 18, 101, 201}},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(kExtensions[c.type]);
        const Outcome outcome = render(c.type, dir.path() / "pic", 2, 2);
        ASSERT_FALSE(outcome.exited) << outcome.output;
        EXPECT_EQ(readFile(dir.path() / (std::string("pic") + kExtensions[c.type])), c.file);
    }
}

TEST_F(ImageTest, BmpRowsArePaddedAndStoredBottomUp) {
    const struct {
        int width;
        unsigned paddedRow;
    } cases[] = {{1, 4}, {2, 8}, {3, 12}, {4, 12}, {5, 16}};
    constexpr int kHeight = 3;
    for (const auto& c : cases) {
        SCOPED_TRACE("width " + std::to_string(c.width));
        ASSERT_FALSE(render(IMAGE_BMP, dir.path() / "pic", c.width, kHeight).exited);
        const Bytes file = readFile(dir.path() / "pic.bmp");
        ASSERT_EQ(file.size(), 54 + c.paddedRow * kHeight);
        EXPECT_EQ(readLittleEndian32(file, 2), file.size());
        EXPECT_EQ(readLittleEndian32(file, 18), unsigned(c.width));
        EXPECT_EQ(readLittleEndian32(file, 34), c.paddedRow * kHeight);
        for (int stored = 0; stored < kHeight; ++stored) {
            Bytes expected = swapRedBlue(line(c.width, kHeight - 1 - stored));
            expected.resize(c.paddedRow, 0);
            const auto start = file.begin() + 54 + stored * c.paddedRow;
            EXPECT_EQ(Bytes(start, start + c.paddedRow), expected) << "stored row " << stored;
        }
    }
}

TEST_F(ImageTest, TgaSizesMustFitSixteenBits) {
    ASSERT_FALSE(render(IMAGE_TGA, dir.path() / "wide", 65535, 1).exited);
    const Bytes file = readFile(dir.path() / "wide.tga");
    EXPECT_EQ(Bytes(file.begin() + 12, file.begin() + 16), (Bytes{0xff, 0xff, 1, 0}));

    const struct { int width, height; } tooLarge[] = {{65536, 1}, {1, 65536}};
    for (const auto& c : tooLarge) {
        expectEnded(render(IMAGE_TGA, dir.path() / "big", c.width, c.height),
                    "\n A TGA picture is at most 65535 x 65535 pixels, not " +
                        std::to_string(c.width) + " x " + std::to_string(c.height) + "\n");
    }
    EXPECT_EQ(entries(), std::set<std::string>{"wide.tga"});
}

TEST_F(ImageTest, LinesArriveInAnyOrderAndTheLastWriteWins) {
    iImageType = IMAGE_PPM;
    const Outcome outcome = captured([&] {
        openImage((dir.path() / "pic").c_str(), 1, 3);
        for (unsigned char row : {2, 0, 1}) {
            unsigned char pixel[3] = {row, row, row};
            writeImageLine(pixel, row);
        }
        unsigned char again[3] = {7, 8, 9};
        writeImageLine(again, 0);
        closeImage();
    });
    ASSERT_FALSE(outcome.exited) << outcome.output;
    const Bytes file = readFile(dir.path() / "pic.ppm");
    EXPECT_EQ(Bytes(file.end() - 9, file.end()), (Bytes{7, 8, 9, 1, 1, 1, 2, 2, 2}));
}

TEST_F(ImageTest, BgrFormatsSwapTheCallersLineInPlace) {
    const struct {
        int type;
        Bytes after;
    } cases[] = {{IMAGE_TGA, {3, 2, 1, 6, 5, 4}},
                 {IMAGE_BMP, {3, 2, 1, 6, 5, 4}},
                 {IMAGE_PPM, {1, 2, 3, 4, 5, 6}}};
    for (const auto& c : cases) {
        iImageType = c.type;
        Bytes pixels{1, 2, 3, 4, 5, 6};
        captured([&] {
            openImage((dir.path() / "pic").c_str(), 2, 1);
            writeImageLine(pixels.data(), 0);
        });
        EXPECT_EQ(pixels, c.after) << "format " << c.type;
        abandonImage();
    }
}

TEST_F(ImageTest, ExtensionIsAppendedUnlessTheNameEndsWithIt) {
    const struct {
        int type;
        const char* name;
        const char* file;
    } cases[] = {{IMAGE_TGA, "pic", "pic.tga"},
                 {IMAGE_BMP, "pic", "pic.bmp"},
                 {IMAGE_PPM, "pic", "pic.ppm"},
                 {IMAGE_BMP, "old.bmp", "old.bmp"},
                 {IMAGE_PPM, "shot.ppm", "shot.ppm"},
                 {IMAGE_TGA, "other.bmp", "other.bmp.tga"},  // another format's extension stays
                 {IMAGE_PPM, "ppm", "ppm.ppm"},              // no dot: not an extension
                 {IMAGE_PPM, "up.PPM", "up.PPM.ppm"}};       // compared exactly
    for (const auto& c : cases) {
        const Outcome outcome = render(c.type, dir.path() / c.name, 3, 2);
        EXPECT_EQ(outcome.output,
                  " Rendering to: " + (dir.path() / c.file).string() + "\n Resolution:   3 x 2\n");
        EXPECT_TRUE(fs::is_regular_file(dir.path() / c.file)) << c.file;
    }
    EXPECT_EQ(entries().size(), std::size(cases));
}

TEST_F(ImageTest, UnknownFormatsEndTheRunBeforeCreatingAFile) {
    const struct {
        int type;
        const char* message;
    } cases[] = {{6, "\n Unknown output format 6\n"}, {-1, "\n Unknown output format -1\n"}};
    for (const auto& c : cases) {
        expectEnded(render(c.type, dir.path() / "pic", 2, 2), c.message);
    }
    EXPECT_TRUE(entries().empty());
}

TEST_F(ImageTest, UncreatableFileIsNamedAndEndsTheRun) {
    dir.write("plain", "not a directory");
    fs::create_directory(dir.path() / "taken.bmp");
    const struct {
        std::string name;
        const char* reason;
    } cases[] = {
        {"missing/pic", "No such file or directory"},
        {"plain/pic", "Not a directory"},
        {"taken", "Is a directory"},
        {std::string(252, 'n'), "File name too long"},  // 256 characters with ".bmp"
    };
    for (const auto& c : cases) {
        const fs::path name = dir.path() / c.name;
        expectEnded(render(IMAGE_BMP, name, 2, 2),
                    "\n Cannot create output file: " + name.string() + ".bmp (" + c.reason + ")\n");
    }
    EXPECT_EQ(entries(), (std::set<std::string>{"plain", "taken.bmp"}));
}

// "dir/" once wrote the hidden file "dir/.bmp"; a directory is refused before rendering.
TEST_F(ImageTest, OutputNamingADirectoryIsRefused) {
    fs::create_directory(dir.path() / "sub");
    for (const std::string name : {"sub", "sub/"}) {
        const std::string path = (dir.path() / name).string();
        expectEnded(render(IMAGE_BMP, path, 2, 2),
                    "\n Cannot create output file: " + path + " (Is a directory)\n");
    }
    EXPECT_TRUE(fs::is_empty(dir.path() / "sub"));
    EXPECT_EQ(entries(), std::set<std::string>{"sub"});
}

// A picture named by a symbolic link replaces the file the link points to, which may not
// exist yet; the link stays a link.
TEST_F(ImageTest, LinkedOutputReplacesTheLinksTarget) {
    fs::create_directory(dir.path() / "real");
    const std::string old = dir.write("real/old.bmp", "previous picture");
    fs::create_symlink("real/old.bmp", dir.path() / "old.bmp");
    fs::create_symlink("real/fresh.bmp", dir.path() / "fresh.bmp");
    for (const char* name : {"old", "fresh"}) {
        const fs::path link = dir.path() / (std::string(name) + ".bmp");
        ASSERT_FALSE(render(IMAGE_BMP, dir.path() / name, 2, 2).exited) << name;
        EXPECT_TRUE(fs::is_symlink(link)) << name;
        EXPECT_EQ(readFile(dir.path() / "real" / link.filename()).size(), 54 + 2 * 8u) << name;
    }
    EXPECT_EQ(entries(), (std::set<std::string>{"fresh.bmp", "old.bmp", "real"}));

    fs::create_symlink("loop.bmp", dir.path() / "loop.bmp");
    const fs::path loop = dir.path() / "loop";
    expectEnded(render(IMAGE_BMP, loop, 2, 2), "\n Cannot create output file: " + loop.string() +
                                                   ".bmp (Too many levels of symbolic links)\n");
}

TEST_F(ImageTest, NameOfTheLongestLengthIsWritten) {
    const std::string name(251, 'n');  // 255 characters with ".bmp", no room for a suffix
    ASSERT_FALSE(render(IMAGE_BMP, dir.path() / name, 2, 2).exited);
    EXPECT_EQ(entries(), std::set<std::string>{name + ".bmp"});
}

TEST_F(ImageTest, ExistingPictureSurvivesAnAbandonedRender) {
    const std::string content = "previous picture";
    const std::string previous = dir.write("pic.ppm", content);
    iImageType = IMAGE_PPM;
    captured([&] {
        openImage((dir.path() / "pic").c_str(), 2, 2);
        Bytes row = line(2, 0);
        writeImageLine(row.data(), 0);
    });
    // The picture in progress lives beside the target, not in it.
    EXPECT_EQ(entries().size(), 2u);
    abandonImage();
    EXPECT_EQ(readFile(previous), Bytes(content.begin(), content.end()));
    EXPECT_EQ(entries(), std::set<std::string>{"pic.ppm"});
}

TEST_F(ImageTest, FinishedPictureReplacesTheOldOneWithItsPermissions) {
    const mode_t oldMask = umask(022);
    const std::string previous = dir.write("old.ppm", "previous picture");
    chmod(previous.c_str(), 0640);
    EXPECT_FALSE(render(IMAGE_PPM, dir.path() / "old", 2, 2).exited);
    EXPECT_FALSE(render(IMAGE_PPM, dir.path() / "new", 2, 2).exited);
    umask(oldMask);

    EXPECT_EQ(readFile(previous).size(), 11 + 2 * 2 * 3u);
    struct stat oldStat, newStat;
    ASSERT_EQ(stat(previous.c_str(), &oldStat), 0);
    ASSERT_EQ(stat((dir.path() / "new.ppm").c_str(), &newStat), 0);
    EXPECT_EQ(oldStat.st_mode & 0777, 0640u);
    EXPECT_EQ(newStat.st_mode & 0777, 0644u);
    EXPECT_EQ(entries(), (std::set<std::string>{"new.ppm", "old.ppm"}));
}

TEST_F(ImageTest, FailedCloseIsNamedAndLeavesNoTemporary) {
    iImageType = IMAGE_BMP;
    const fs::path name = dir.path() / "pic";
    ASSERT_FALSE(captured([&] { openImage(name.c_str(), 2, 2); }).exited);
    // Something takes the name while the picture is being rendered.
    fs::create_directory(dir.path() / "pic.bmp");
    expectEnded(captured(closeImage),
                "\n Cannot write output file: " + name.string() + ".bmp (Is a directory)\n");
    EXPECT_EQ(entries(), std::set<std::string>{"pic.bmp"});
}

TEST_F(ImageTest, ImageMagickDecodesEveryFormat) {
    if (commandOutput("convert -version").find("Version: ImageMagick") == std::string::npos) {
        GTEST_SKIP() << "ImageMagick's convert is not installed";
    }
    Bytes expected;
    for (int y = 0; y < 3; ++y) {
        const Bytes row = line(5, y);
        expected.insert(expected.end(), row.begin(), row.end());
    }
    for (int type : {IMAGE_TGA, IMAGE_BMP, IMAGE_PPM}) {
        ASSERT_FALSE(render(type, dir.path() / "pic", 5, 3).exited);
        const fs::path file = dir.path() / (std::string("pic") + kExtensions[type]);
        const std::string decoded =
            commandOutput("convert '" + file.string() + "' -auto-orient -depth 8 rgb:-");
        EXPECT_EQ(Bytes(decoded.begin(), decoded.end()), expected) << kExtensions[type];
    }
}

}  // namespace
