#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "parser/lexer.h"
#include "test_support.h"

// The documents a user starts from must stay true to the program: the reference names every
// keyword, and every complete scene the documents show renders a well-lit picture.

namespace {

const std::string kReference = std::string(LUMORA_SOURCE_DIR) + "/docs/scene-language.md";
const std::string kReadme = std::string(LUMORA_SOURCE_DIR) + "/README.md";

TEST(Reference, NamesEveryKeyword) {
    const std::string reference = readFile(kReference);
    ASSERT_FALSE(reference.empty()) << kReference;
    for (const Keyword& keyword : liste_motcle) {
        EXPECT_NE(reference.find('`' + std::string(keyword.text) + '`'), std::string::npos)
            << keyword.text << " is not in the reference";
    }
}

// The fenced blocks of a Markdown text that hold a whole scene: a settings and a camera
// statement at the start of lines.
std::vector<std::string> sceneBlocks(const std::string& markdown) {
    static const std::regex fence("```[^\\n]*\\n([\\s\\S]*?)```");
    static const std::regex settings("(^|\\n)\\s*settings\\b");
    static const std::regex camera("(^|\\n)\\s*camera\\b");
    std::vector<std::string> scenes;
    for (auto it = std::sregex_iterator(markdown.begin(), markdown.end(), fence);
         it != std::sregex_iterator(); ++it) {
        const std::string block = (*it)[1];
        if (std::regex_search(block, settings) && std::regex_search(block, camera)) {
            scenes.push_back(block);
        }
    }
    return scenes;
}

// Renders `scene` small and returns, per pixel, its brightest channel.
std::vector<int> brightness(const std::string& scene) {
    const TempDir dir;
    dir.write("scene.lms", scene);
    const ProgramRun run = runProgram(
        LUMORA_BIN, {"-i", "scene.lms", "-r", "80", "60", "-aan", "-ppm", "-o", "pic"}, dir.path());
    EXPECT_EQ(run.exitStatus, 0) << run.output;
    EXPECT_EQ(run.output.find("Warning"), std::string::npos) << run.output;
    Picture picture = readPpm(dir.path() / "pic.ppm");
    std::vector<int> levels;
    for (std::size_t i = 0; i + 2 < picture.pixels.size(); i += 3) {
        levels.push_back(
            std::max({picture.pixels[i], picture.pixels[i + 1], picture.pixels[i + 2]}));
    }
    return levels;
}

// A scene lit as meant shows a highlight near white and a picture that is not mostly dark.
void expectWellLit(const std::string& document) {
    const std::vector<std::string> scenes = sceneBlocks(readFile(document));
    ASSERT_FALSE(scenes.empty()) << document << " shows no whole scene";
    for (const std::string& scene : scenes) {
        SCOPED_TRACE(scene);
        const std::vector<int> levels = brightness(scene);
        ASSERT_EQ(levels.size(), 80u * 60u);
        double sum = 0;
        for (int level : levels) sum += level;
        EXPECT_GE(*std::max_element(levels.begin(), levels.end()), 200);
        EXPECT_GE(sum / static_cast<double>(levels.size()), 60);
    }
}

TEST(Readme, ExampleScenesRenderWellLit) {
    expectWellLit(kReadme);
}

TEST(Reference, ExampleScenesRenderWellLit) {
    expectWellLit(kReference);
}

}  // namespace
