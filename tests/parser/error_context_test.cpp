#include "parser/error_context.h"

#include <gtest/gtest.h>

#include <optional>
#include <string_view>

#include "parser/lexer.h"

namespace {

TEST(ErrorContextTest, SuggestsTheKeywordOfATypingSlip) {
    const struct {
        std::string_view word;
        std::optional<std::string_view> meant;
    } cases[] = {
        {"centre", "center"},   // two letters swapped
        {"colour", "color"},    // one too many
        {"radus", "radius"},    // one missing
        {"difuse", "diffuse"},  // one missing in a long word
        {"refraction_indx", "refraction_index"},
        {"ambeint", "ambient"},
        {"sphere", std::nullopt},       // a keyword itself
        {"teapot", std::nullopt},       // nothing near
        {"x", std::nullopt},            // too short to guess from
        {"cameras_all", std::nullopt},  // too many edits for its length
    };
    for (const auto& c : cases) {
        EXPECT_EQ(nearestKeyword(c.word), c.meant) << c.word;
    }
}

TEST(ErrorContextTest, NamesTheBlockAndCommentLeftOpenOnlyWhenTheyExplainTheError) {
    const ErrorContext inBlock{.fileName = "a.lms",
                               .line = 9,
                               .tokenCode = KW_CAMERA,
                               .tokenText = "camera",
                               .openBraceLine = 3};
    EXPECT_EQ(describeErrorContext(inBlock),
              " a.lms:9: read \"camera\"; the block opened on line 3 has no \"}\"");

    ErrorContext wrongKey = inBlock;
    wrongKey.tokenCode = KW_FOV;
    wrongKey.tokenText = "fov";
    EXPECT_EQ(describeErrorContext(wrongKey), " a.lms:9: read \"fov\"");

    const ErrorContext atEnd{.fileName = "a.lms",
                             .line = 12,
                             .tokenCode = TOKEN_EOF,
                             .unclosedCommentLine = 5,
                             .hint = "a hint"};
    EXPECT_EQ(describeErrorContext(atEnd),
              " a.lms:12: read the end of the file; a hint; the comment opened by \"[\" on "
              "line 5 never ends");

    const ErrorContext quotedName{
        .fileName = "a.lms", .line = 1, .tokenCode = TOKEN_QUOTE, .quotedName = "gif"};
    EXPECT_EQ(describeErrorContext(quotedName), " a.lms:1: read \"gif\"");
}

}  // namespace
