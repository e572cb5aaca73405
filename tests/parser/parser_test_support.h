#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "test_support.h"

// The report a parse error ends with.
inline std::string parseErrorReport(int line, const std::string& message) {
    return "\n Parser Error - line: " + std::to_string(line) + " - " + message + "\n";
}

inline bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Whether `output` ends with `report`, the fixed lines of a parse error, followed by the one
// line that says where and what was read.
inline bool endsWithReport(const std::string& output, const std::string& report) {
    const std::size_t at = output.rfind(report);
    if (at == std::string::npos) return false;
    const std::string_view context = std::string_view(output).substr(at + report.size());
    return context.size() > 1 && context.front() == ' ' && context.find('\n') == context.size() - 1;
}

// One scene that must stop with `message` reported at `line`.
struct ParseErrorCase {
    const char* what;
    std::string scene;
    int line;
    const char* message;
};

// Expects the parse to have stopped with `message` reported at `line`.
inline void expectParseFailure(const Outcome& outcome, int line, const std::string& message) {
    EXPECT_TRUE(outcome.exited);
    EXPECT_EQ(outcome.status, -1);
    EXPECT_TRUE(endsWithReport(outcome.output, parseErrorReport(line, message)))
        << "output was: " << outcome.output;
}

inline void expectParseErrors(std::initializer_list<ParseErrorCase> cases) {
    for (const ParseErrorCase& c : cases) {
        SCOPED_TRACE(c.what);
        expectParseFailure(parseSceneText(c.scene), c.line, c.message);
    }
}

class ParserTest : public testing::Test {
  protected:
    void TearDown() override { resetScene(); }
};
