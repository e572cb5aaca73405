#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"

// cmake --install into a scratch prefix yields programs that run there (with the module that
// reads models), the reference and a manual page that man renders without a warning.

namespace {

namespace fs = std::filesystem;

class InstallTest : public testing::Test {
  protected:
    void SetUp() override {
        const ProgramRun install =
            runProgram(LUMORA_CMAKE, {"--install", LUMORA_BUILD_DIR, "--prefix", prefix().string()},
                       dir_.path());
        ASSERT_EQ(install.exitStatus, 0) << install.output;
    }
    fs::path prefix() const { return dir_.path() / "usr"; }

    TempDir dir_;
};

TEST_F(InstallTest, InstalledProgramsRunAndRenderTheInstalledExample) {
    const fs::path examples = prefix() / "share/doc/lumora/examples";
    for (const char* program : {"lumora", "lumora-mt"}) {
        SCOPED_TRACE(program);
        const std::string path = (prefix() / "bin" / program).string();
        const ProgramRun version = runProgram(path, {"--version"}, dir_.path());
        EXPECT_EQ(version.exitStatus, 0);
        EXPECT_TRUE(version.output.starts_with("\n LUMORA v0.1 beta 14 (linux-intel-glibc2"))
            << version.output;

        const ProgramRun render = runProgram(path,
                                             {"-i", (examples / "spheres.lms").string(), "-r", "16",
                                              "12", "-aan", "-ppm", "-o", program},
                                             dir_.path());
        EXPECT_EQ(render.exitStatus, 0) << render.output;
        EXPECT_EQ(readPpm(dir_.path() / (std::string(program) + ".ppm")).width, 16);

        // An OBJ model is read by the installed model-reader module.
        const std::string knot = std::string(program) + "-knot";
        const ProgramRun model = runProgram(
            path, {"-i", (examples / "knot.lms").string(), "-r", "16", "12", "-ppm", "-o", knot},
            dir_.path());
        EXPECT_EQ(model.exitStatus, 0) << model.output;
        EXPECT_EQ(readPpm(dir_.path() / (knot + ".ppm")).height, 12);
    }
    EXPECT_TRUE(fs::is_regular_file(prefix() / "share/doc/lumora/scene-language.md"));
    EXPECT_TRUE(fs::is_regular_file(prefix() / "share/doc/lumora/images/spheres.png"));
}

TEST_F(InstallTest, ManualPageRendersWithoutWarnings) {
    const fs::path page = prefix() / "share/man/man1/lumora.1";
    ASSERT_TRUE(fs::is_regular_file(page));
    const std::string man =
        "LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l '" + page.string() + "'";
    // groff's warnings go to standard error, the page to standard output.
    const ProgramRun warnings = runProgram("sh", {"-c", man + " >/dev/null"}, dir_.path());
    EXPECT_EQ(warnings.exitStatus, 0);
    EXPECT_EQ(warnings.output, "");

    const ProgramRun rendered = runProgram("sh", {"-c", man + " 2>/dev/null"}, dir_.path());
    for (const char* section : {"NAME", "SYNOPSIS", "OPTIONS", "EXIT STATUS", "FILES", "EXAMPLES",
                                "--version", "--aaadaptive"}) {
        EXPECT_NE(rendered.output.find(section), std::string::npos) << section;
    }
    // The page names where the reference was installed (in roff, a hyphen is escaped).
    std::ifstream file(page);
    const std::string source{std::istreambuf_iterator<char>(file), {}};
    EXPECT_NE(source.find((prefix() / "share/doc/lumora/scene\\-language.md").string()),
              std::string::npos)
        << source;
}

}  // namespace
