#include "parser/error_context.h"

#include <algorithm>
#include <numeric>
#include <vector>

#include "parser/lexer.h"

namespace {

// Edits that turn `a` into `b`: insertions, deletions, substitutions and swaps of two
// neighbouring letters, the slips that typing makes.
std::size_t editDistance(std::string_view a, std::string_view b) {
    // Three rows of the usual table: the swap looks two rows back.
    std::vector<std::size_t> before(b.size() + 1), previous(b.size() + 1), current(b.size() + 1);
    std::iota(previous.begin(), previous.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        current[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t substitution = a[i - 1] == b[j - 1] ? 0 : 1;
            current[j] =
                std::min({previous[j] + 1, current[j - 1] + 1, previous[j - 1] + substitution});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                current[j] = std::min(current[j], before[j - 2] + 1);
            }
        }
        std::swap(before, previous);
        std::swap(previous, current);
    }
    return previous[b.size()];
}

// Statements that begin at the top level of a scene: read inside a block, they usually mean
// that the block before them lacks its "}".
bool beginsStatement(int code) {
    switch (code) {
        case KW_INCLUDE:
        case KW_DECLARE:
        case KW_CAMERA:
        case KW_LIGHT:
        case KW_SETTINGS:
        case KW_SURFACE:
        case KW_MESH:
        case KW_PLANE:
        case KW_SPHERE:
        case KW_CONE:
        case KW_RING:
        case KW_DISC:
        case KW_POLYGON:
        case KW_CYLINDER:
        case KW_TRIANGLE:
        case KW_PATCH:
        case KW_SMOOTH_TRIANGLE:
            return true;
        default:
            return false;
    }
}

std::string quoted(std::string_view text) {
    std::string result(1, '"');
    result.append(text).push_back('"');
    return result;
}

std::string describeToken(const ErrorContext& context) {
    if (!context.quotedName.empty()) return quoted(context.quotedName);
    switch (context.tokenCode) {
        case TOKEN_EOF:
            return "the end of the file";
        case TOKEN_OPEN_BRACE:
            return quoted("{");
        case TOKEN_CLOSE_BRACE:
            return quoted("}");
        case TOKEN_OPEN_VECTOR:
            return quoted("<");
        case TOKEN_CLOSE_VECTOR:
            return quoted(">");
        case TOKEN_HASH:
            return quoted("#");
        case TOKEN_QUOTE:
            return "a quote";
        default:
            return quoted(context.tokenText);
    }
}

}  // namespace

std::optional<std::string_view> nearestKeyword(std::string_view word) {
    std::optional<std::string_view> nearest;
    std::size_t nearestDistance = std::max<std::size_t>(1, word.size() / 3) + 1;
    for (const Keyword& keyword : liste_motcle) {
        const std::size_t distance = editDistance(word, keyword.text);
        if (distance == 0) return std::nullopt;
        if (distance < nearestDistance) {
            nearest = keyword.text;
            nearestDistance = distance;
        }
    }
    return nearest;
}

std::string describeErrorContext(const ErrorContext& context) {
    // Built by appending: GCC 12 warns falsely about a literal joined to a temporary string.
    std::string line(" ");
    line.append(context.fileName).append(":").append(std::to_string(context.line));
    line.append(": read ").append(describeToken(context));
    if (context.tokenCode == TOKEN_WORD) {
        if (const auto keyword = nearestKeyword(context.tokenText)) {
            line.append("; did you mean ").append(quoted(*keyword)).append("?");
        }
    }
    if (!context.hint.empty()) line.append("; ").append(context.hint);
    const bool statementEnded =
        context.tokenCode == TOKEN_EOF || beginsStatement(context.tokenCode);
    if (context.openBraceLine != 0 && statementEnded) {
        line.append("; the block opened on line ").append(std::to_string(context.openBraceLine));
        line.append(" has no \"}\"");
    }
    if (context.unclosedCommentLine != 0 && context.tokenCode == TOKEN_EOF) {
        line.append("; the comment opened by \"[\" on line ");
        line.append(std::to_string(context.unclosedCommentLine)).append(" never ends");
    }
    return line;
}
