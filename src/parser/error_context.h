#pragma once

#include <optional>
#include <string>
#include <string_view>

// What the lexer knows when a scene error stops the run: enough for one line that says where
// it happened, what was read there and what was probably meant.
struct ErrorContext {
    std::string_view fileName{};
    int line = 0;
    int tokenCode = 0;              // the code of the last token read
    std::string_view tokenText{};   // its text, for a word or a number
    std::string_view quotedName{};  // the quoted name that the last token closed, if it did
    int openBraceLine = 0;          // where the block being read opened; 0 outside any block
    int unclosedCommentLine = 0;    // where a comment that ran to the end of the file opened
    std::string_view hint{};        // what the reader that failed adds, if anything
};

// The line that follows a parse error's report, without its newline, such as
// ` scene.lms:7: read "centre"; did you mean "center"?`.
std::string describeErrorContext(const ErrorContext& context);

// The keyword that `word` most likely misspells: the nearest by insertions, deletions,
// substitutions and swaps of neighbouring letters, when it is at most one edit in three
// letters away. None for a keyword itself or a word far from every keyword.
std::optional<std::string_view> nearestKeyword(std::string_view word);
