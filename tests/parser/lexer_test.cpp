#include "parser/lexer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "model/globals.h"
#include "test_support.h"

namespace {

// Feeds the lexer from a string, as if it were a scene file.
class Source {
  public:
    explicit Source(std::string text, std::size_t blockSize = SceneInput::kDefaultBlockSize)
        : text_(std::move(text)),
          file_(fmemopen(text_.data(), text_.size(), "r")),
          input_(file_.get(), "scene.lms", blockSize) {}
    std::FILE* file() const { return file_.get(); }

  private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::string text_;
    std::unique_ptr<std::FILE, Closer> file_;
    SceneInput input_;
};

class LexerTest : public testing::Test {
  protected:
    void SetUp() override {
        resetScene();
        comptligne = 1;
        sourceName.clear();
    }
    void TearDown() override { resetScene(); }
};

// The line after a report, naming the source and what was read.
std::string contextLine(int line, const std::string& read) {
    return " scene.lms:" + std::to_string(line) + ": read " + read + "\n";
}

std::string errorReport(int line, const std::string& message, const std::string& read) {
    return "\n Parser Error - line: " + std::to_string(line) + " - " + message + "\n" +
           contextLine(line, read);
}

std::string syntaxReport(char c, int line) {
    return std::string("\n Syntaxic analyser stopped on character: '") + c +
           "'\n Please review the script\n Parser Error - line: " + std::to_string(line) + "\n" +
           contextLine(line, std::string("\"") + c + "\"");
}

TEST_F(LexerTest, KeywordTableHoldsEveryWordOnce) {
    std::set<std::string> texts;
    for (const Keyword& keyword : liste_motcle) texts.insert(keyword.text);
    EXPECT_EQ(texts.size(), static_cast<std::size_t>(kKeywordCount));
}

TEST_F(LexerTest, WordsAreMatchedExactly) {
    const struct {
        const char* text;
        int code;
    } cases[] = {
        {"sphere", KW_SPHERE},
        {"Sphere", TOKEN_WORD},
        {"spheres", TOKEN_WORD},
        {"resolution", KW_DISPLAY},
        {"display", KW_DISPLAY},
        {"aa_type", KW_ANTIALIASING},
        {"smooth_triangle", 903},
        {"disc", 704},
        {"modify", 1000},
        {"include", KW_INCLUDE},
        {"focal_point", 121},
        {"halton", 216},
        {"file.name:with\\all_", TOKEN_WORD},
    };
    for (const auto& c : cases) {
        Source source(c.text);
        EXPECT_EQ(Lire_MotCle(source.file()), c.code) << c.text;
        EXPECT_EQ(chaine, c.text);
        EXPECT_EQ(mot_cle, c.code);
        EXPECT_EQ(Lire_MotCle(source.file()), TOKEN_EOF) << "one token only: " << c.text;
    }
}

TEST_F(LexerTest, PunctuationTokensLeaveTheTextEmpty) {
    Source source("{ } < > # \"");
    for (int code : {TOKEN_OPEN_BRACE, TOKEN_CLOSE_BRACE, TOKEN_OPEN_VECTOR, TOKEN_CLOSE_VECTOR,
                     TOKEN_HASH, TOKEN_QUOTE, TOKEN_EOF}) {
        EXPECT_EQ(Lire_MotCle(source.file()), code);
        EXPECT_TRUE(chaine.empty());
    }
}

TEST_F(LexerTest, NumbersConvertAsTheReaderAsks) {
    const struct {
        const char* text;
        NumberType type;
        double decimal;
        int integer;
    } cases[] = {
        {"1e3", NUMBER_DECIMAL, 1000, 0}, {".25", NUMBER_DECIMAL, 0.25, 0},
        {"-2", NUMBER_DECIMAL, -2, 0},    {"1-2", NUMBER_DECIMAL, 1, 0},
        {"-", NUMBER_DECIMAL, 0, 0},      {"2.9", NUMBER_INTEGER, 0, 2},
        {"+7", NUMBER_INTEGER, 0, 7},     {"99999999999", NUMBER_INTEGER, 0, 2147483647},
    };
    for (const auto& c : cases) {
        Source source(c.text);
        type_motcle = c.type;
        EXPECT_EQ(Lire_MotCle(source.file()), TOKEN_NUMBER) << c.text;
        if (c.type == NUMBER_DECIMAL) {
            EXPECT_DOUBLE_EQ(val_DBL, c.decimal) << c.text;
        } else {
            EXPECT_EQ(val_INT, c.integer) << c.text;
        }
        EXPECT_EQ(Lire_MotCle(source.file()), TOKEN_EOF) << "one token only: " << c.text;
    }
}

// Decimal numbers convert to the bits strtod gives, whatever their digits: short ones take
// a quicker way, which must never round differently.
TEST_F(LexerTest, DecimalsHaveTheBitsOfStrtod) {
    std::mt19937_64 rng(17);
    std::string text;
    std::vector<std::string> tokens = {"0",
                                       "-0",
                                       "-0.0",
                                       "+.5",
                                       "5.",
                                       "0.000001",
                                       "123456789012345678",
                                       "9007199254740993",
                                       "0.1",
                                       "1e-7",
                                       "3.14159265358979323846"};
    for (int i = 0; i < 20000; ++i) {
        // Up to 20 digits with the point anywhere: short and long, exact and rounded ones.
        std::string token = rng() % 3 == 0 ? "-" : "";
        const int digits = 1 + static_cast<int>(rng() % 20);
        const int point = static_cast<int>(rng() % (digits + 1));
        for (int d = 0; d < digits; ++d) {
            if (d == point && d > 0) token += '.';
            token += static_cast<char>('0' + rng() % 10);
        }
        tokens.push_back(token);
    }
    for (const std::string& token : tokens) text += token + " ";
    Source source(text);
    for (const std::string& token : tokens) {
        type_motcle = NUMBER_DECIMAL;
        ASSERT_EQ(Lire_MotCle(source.file()), TOKEN_NUMBER) << token;
        const double expected = std::strtod(token.c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&val_DBL, &expected, sizeof expected), 0)
            << token << ": " << val_DBL << " against " << expected;
    }
}

// The lexer reads its file in blocks; with tiny blocks, tokens, comments and line ends
// straddle the end of a block in every way, and what it hands out must not change.
TEST_F(LexerTest, TokensDoNotDependOnWhereBlocksEnd) {
    const std::string text =
        "sphere { center <1.5 -2e3 +.25> radius 0.000000000000000000001 }\n"
        "[ a comment\n  over two lines ] ; and one to the end of the line\n"
        "declare \"name\" color 12345678901234567890 .5 -7.125\n\n\tfov 54";
    using Token = std::tuple<int, std::string, double, int>;
    const auto tokensOf = [&](std::size_t blockSize) {
        comptligne = 1;
        type_motcle = NUMBER_DECIMAL;
        Source source(text, blockSize);
        std::vector<Token> tokens;
        do {
            Lire_MotCle(source.file());
            tokens.emplace_back(mot_cle, chaine, mot_cle == TOKEN_NUMBER ? val_DBL : 0, comptligne);
        } while (mot_cle != TOKEN_EOF);
        return tokens;
    };
    const std::vector<Token> whole = tokensOf(SceneInput::kDefaultBlockSize);
    ASSERT_EQ(whole.size(), 22u);
    EXPECT_EQ(whole[6], Token(TOKEN_NUMBER, "+.25", 0.25, 1));
    EXPECT_EQ(whole[16], Token(TOKEN_NUMBER, "12345678901234567890", 12345678901234567890.0, 4));
    EXPECT_EQ(whole.back(), Token(TOKEN_EOF, "", 0, 6));
    for (const std::size_t blockSize : {1, 2, 3, 5, 8, 13}) {
        EXPECT_EQ(tokensOf(blockSize), whole) << "blocks of " << blockSize;
    }
}

TEST_F(LexerTest, CommentsAreSkippedAndTheirNewlinesCounted) {
    Source source("; one\n[ two\nthree\nfour ] ;\nsphere");
    EXPECT_EQ(Lire_MotCle(source.file()), KW_SPHERE);
    EXPECT_EQ(comptligne, 5);
}

TEST_F(LexerTest, CommentsRunningToTheEndOfFileEndTheFile) {
    for (const char* text : {"[ never closed\n", "; last line without newline"}) {
        Source source(text);
        EXPECT_EQ(Lire_MotCle(source.file()), TOKEN_EOF) << text;
    }
}

TEST_F(LexerTest, ReadersStoreTheirValues) {
    Source source("<1 -2 3.5> 0.5 0.25 1 12 \"sphere\" 7.5");
    Lire_Vecteur(source.file());
    EXPECT_EQ(vect_tmp.x, 1);
    EXPECT_EQ(vect_tmp.y, -2);
    EXPECT_EQ(vect_tmp.z, 3.5);
    Lire_RVB(source.file());
    EXPECT_EQ(rvb_tmp.r, 0.5);
    EXPECT_EQ(rvb_tmp.g, 0.25);
    EXPECT_EQ(rvb_tmp.b, 1);
    Lire_Entier(source.file());
    EXPECT_EQ(val_INT, 12);
    Lire_Chaine(source.file());  // a keyword may serve as a quoted name
    EXPECT_EQ(mot_cle, TOKEN_QUOTE);
    EXPECT_EQ(strTemp, "sphere");
    Lire_Decimal(source.file());
    EXPECT_EQ(val_DBL, 7.5);
}

TEST_F(LexerTest, LaterColourDeclarationsWin) {
    for (double red : {0.1, 0.7}) {
        auto entry = std::make_unique<ColorEntry>();
        std::snprintf(entry->name, sizeof entry->name, "%s", "warm");
        entry->color = {red, 0, 0};
        addColorToList(&myColorList, entry.release());
    }
    Source source("# warm");
    Lire_RVB(source.file());
    EXPECT_EQ(rvb_tmp.r, 0.7);
    EXPECT_EQ(freeColorList(&myColorList), 2);
    EXPECT_EQ(myColorList, nullptr);
}

struct ReaderError {
    const char* input;
    void (*reader)(std::FILE*);
    const char* message;
    const char* read;
};

TEST_F(LexerTest, ReadersReportWhatTheyExpected) {
    const ReaderError cases[] = {
        {"# nowhere", Lire_RVB, " Color declaration not found", "\"nowhere\""},
        {"red", Lire_RVB, " Red component expected", "\"red\""},
        {"1 x", Lire_RVB, " Green component expected", "\"x\""},
        {"1 1 }", Lire_RVB, " Blue component expeced", "\"}\""},
        {"1 2 3", Lire_Vecteur, " Opening backet '<' expected before x component", "\"1\""},
        {"< >", Lire_Vecteur, " x component expected", "\">\""},
        {"<1 >", Lire_Vecteur, " y component expected", "\">\""},
        {"<1 2 >", Lire_Vecteur, " z componente expected", "\">\""},
        {"<1 2 3 4>", Lire_Vecteur, " Closing bracket '>' expected after z component", "\"4\""},
        {"\"x\"", Lire_Decimal, " Decimal value expected", "a quote"},
        {"{", Lire_Entier, " Integer value expected", "\"{\""},
        {"name\"", Lire_Chaine, " string expected", "\"name\""},
        {"\"two words\"", Lire_Chaine, " '\"' string delimiter expected", "\"words\""},
        {"", Lire_Decimal, " Decimal value expected", "the end of the file"},
    };
    for (const ReaderError& c : cases) {
        Source source(c.input);
        const Outcome outcome = captureRun([&] {
            c.reader(source.file());
            return 0;
        });
        EXPECT_TRUE(outcome.exited) << c.input;
        EXPECT_EQ(outcome.status, -1) << c.input;
        EXPECT_EQ(outcome.output, errorReport(1, c.message, c.read)) << c.input;
    }
}

TEST_F(LexerTest, CharactersThatStartNoTokenStopTheLexer) {
    const struct {
        const char* input;
        char culprit;
        int line;
    } cases[] = {
        {"<1, 2, 3>", ',', 1},
        {"dir/file", '/', 1},
        {"\n\n@", '@', 3},
        {"\"caf\xC3\xA9\"", '\xC3', 1},
    };
    for (const auto& c : cases) {
        comptligne = 1;
        Source source(c.input);
        const Outcome outcome = captureRun([&] {
            for (;;) Lire_MotCle(source.file());
            return 0;
        });
        EXPECT_TRUE(outcome.exited);
        EXPECT_EQ(outcome.output, syntaxReport(c.culprit, c.line)) << c.input;
    }
}

TEST_F(LexerTest, OverlongWordsAreRejectedNotTruncated) {
    // Also where the word begins near the end of a block, small or large.
    for (const std::size_t blockSize : {std::size_t{7}, SceneInput::kDefaultBlockSize}) {
        const std::string lead(blockSize - 3, ' ');
        for (const char first : {'a', '1'}) {
            Source fits(lead + std::string(255, first) + " x", blockSize);
            EXPECT_EQ(Lire_MotCle(fits.file()), first == 'a' ? TOKEN_WORD : TOKEN_NUMBER);
            EXPECT_EQ(chaine.size(), 255u);
            EXPECT_EQ(Lire_MotCle(fits.file()), TOKEN_WORD);

            Source tooLong(lead + std::string(256, first), blockSize);
            const Outcome outcome = captureRun([&] { return Lire_MotCle(tooLong.file()); });
            EXPECT_TRUE(outcome.exited);
            EXPECT_EQ(outcome.output, errorReport(1, " word or number longer than 255 characters",
                                                  '"' + std::string(16, first) + "...\""));
        }
    }
}

TEST_F(LexerTest, ErrorsInIncludedFilesNameTheFile) {
    comptligne = 4;
    sourceName = "colors.lms";
    const Outcome outcome = captureRun([]() -> int { yyerror(" Unkown term"); });
    EXPECT_EQ(outcome.output, "\n Parser Error - line: 4 in colors.lms -  Unkown term\n");
}

}  // namespace
