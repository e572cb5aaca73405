#include "parser/lexer.h"

#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/data.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "parser/error_context.h"

const Keyword liste_motcle[kKeywordCount] = {
    {"include", KW_INCLUDE},
    {"declare", KW_DECLARE},
    {"camera", KW_CAMERA},
    {"position", KW_POSITION},
    {"look_at", KW_LOOK_AT},
    {"up", KW_UP},
    {"fov", KW_FOV},
    {"ratio", KW_RATIO},
    {"aperture", KW_APERTURE},
    {"focal_length", KW_FOCAL_LENGTH},
    {"samples", KW_SAMPLES},
    {"light", KW_LIGHT},
    {"projection_type", KW_PROJECTION_TYPE},
    {"attenuation_type", KW_ATTENUATION_TYPE},
    {"shadow_type", KW_SHADOW_TYPE},
    {"light_samples", KW_LIGHT_SAMPLES},
    {"camera_samples", KW_CAMERA_SAMPLES},
    {"camera_index", KW_CAMERA_INDEX},
    {"light_type", KW_LIGHT_TYPE},
    {"min_angle", KW_MIN_ANGLE},
    {"max_angle", KW_MAX_ANGLE},
    {"direction", KW_DIRECTION},
    {"target", KW_TARGET},
    {"focal_point", KW_FOCAL_POINT},
    {"settings", KW_SETTINGS},
    {"background", KW_BACKGROUND},
    {"display", KW_DISPLAY},
    {"resolution", KW_DISPLAY},
    {"output_type", KW_OUTPUT_TYPE},
    {"output_name", KW_OUTPUT_NAME},
    {"jitter", KW_JITTER},
    {"aa_jitter", KW_JITTER},
    {"antialiasing", KW_ANTIALIASING},
    {"aa_type", KW_ANTIALIASING},
    {"aa_distance", KW_AA_DISTANCE},
    {"haze_color", KW_HAZE_COLOR},
    {"haze_factor", KW_HAZE_FACTOR},
    {"jpeg_quality", KW_JPEG_QUALITY},
    {"input_name", KW_INPUT_NAME},
    {"global_illumination", KW_GLOBAL_ILLUMINATION},
    {"distribution", KW_DISTRIBUTION},
    {"brightness", KW_BRIGHTNESS},
    {"hammersley", KW_HAMMERSLEY},
    {"halton", KW_HALTON},
    {"surface", KW_SURFACE},
    {"reflection", KW_REFLECTION},
    {"refraction", KW_REFRACTION},
    {"refraction_index", KW_REFRACTION_INDEX},
    {"color", KW_COLOR},
    {"ambient", KW_AMBIENT},
    {"brilliance", KW_BRILLIANCE},
    {"roughness", KW_ROUGHNESS},
    {"diffuse", KW_DIFFUSE},
    {"specular", KW_SPECULAR},
    {"reflection_type", KW_REFLECTION_TYPE},
    {"reflection_samples", KW_REFLECTION_SAMPLES},
    {"reflection_radius", KW_REFLECTION_RADIUS},
    {"plane", KW_PLANE},
    {"normal", KW_NORMAL},
    {"distance", KW_DISTANCE},
    {"sphere", KW_SPHERE},
    {"center", KW_CENTER},
    {"radius", KW_RADIUS},
    {"cone", KW_CONE},
    {"base", KW_BASE},
    {"cap", KW_CAP},
    {"base_radius", KW_BASE_RADIUS},
    {"cap_radius", KW_CAP_RADIUS},
    {"ring", KW_RING},
    {"internal_radius", KW_INTERNAL_RADIUS},
    {"external_radius", KW_EXTERNAL_RADIUS},
    {"disc", KW_DISC},
    {"polygon", KW_POLYGON},
    {"vertex", KW_VERTEX},
    {"cylinder", KW_CYLINDER},
    {"triangle", KW_TRIANGLE},
    {"patch", KW_PATCH},
    {"smooth_triangle", KW_SMOOTH_TRIANGLE},
    {"modify", KW_MODIFY},
    {"mesh", KW_MESH},
    {"file", KW_FILE},
    {"scale", KW_SCALE},
    {"rotate", KW_ROTATE},
    {"translate", KW_TRANSLATE},
    {"smooth", KW_SMOOTH},
    {"flat", KW_FLAT},
    {"materials", KW_MATERIALS},
};

std::string chaine;
int mot_cle = 0;
NumberType type_motcle = NUMBER_DECIMAL;
double val_DBL = 0;
int val_INT = 0;
Color rvb_tmp;
Vector3 vect_tmp;
std::string strTemp;
int comptligne = 1;
std::string sourceName;

namespace {

// Character classes of the C locale, spelled out so that no locale setting can change
// what a scene means, and kept in a table: every character of a scene is classed.
enum CharClass : unsigned char {
    CLASS_BLANK = 1,
    CLASS_DIGIT = 2,
    CLASS_LETTER = 4,
    CLASS_WORD = 8,    // may follow the first letter of a word
    CLASS_NUMBER = 16  // may follow the first character of a number
};

constexpr std::array<unsigned char, 256> kCharClasses = [] {
    std::array<unsigned char, 256> classes{};
    for (const char c : {' ', '\t', '\n', '\v', '\f', '\r'}) classes[c] |= CLASS_BLANK;
    for (int c = '0'; c <= '9'; ++c) classes[c] |= CLASS_DIGIT | CLASS_WORD | CLASS_NUMBER;
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] |= CLASS_LETTER | CLASS_WORD;
    for (int c = 'a'; c <= 'z'; ++c) classes[c] |= CLASS_LETTER | CLASS_WORD;
    for (const char c : {'.', ':', '\\', '_'}) classes[c] |= CLASS_WORD;
    for (const char c : {'+', '-', '.', 'e', 'E'}) classes[c] |= CLASS_NUMBER;
    return classes;
}();

// Whether c, a character or EOF, is of the class.
bool isOf(int c, CharClass charClass) {
    return c >= 0 && (kCharClasses[static_cast<unsigned char>(c)] & charClass) != 0;
}
bool isBlank(int c) {
    return isOf(c, CLASS_BLANK);
}
bool isLetter(int c) {
    return isOf(c, CLASS_LETTER);
}
bool isDigit(int c) {
    return isOf(c, CLASS_DIGIT);
}

}  // namespace

// A block of the file with the characters not yet scanned at its front. A NUL always follows
// the last character read, so that scanning loops stop at the end of the block without a
// separate bounds test; a NUL before that end is a character of the file.
class SceneInput::Text {
  public:
    Text(std::FILE* file, std::string fileName, std::size_t blockSize)
        : name(std::move(fileName)), file_(file), block_(blockSize + kMaxTokenLength + 2) {
        next = end_ = block_.data();
        *end_ = '\0';
    }

    std::FILE* file() const { return file_; }

    // Whether every character read so far has been scanned.
    bool exhausted() const { return next == end_; }

    // Whether the file has no characters left beyond those read.
    bool drained() const { return drained_; }

    // Makes sure that a whole token of any allowed length follows `next`, unless the file ends
    // first: tokens are then scanned without ever crossing the end of the block.
    void holdToken() {
        if (!drained_ && static_cast<std::size_t>(end_ - next) <= kMaxTokenLength) refill();
    }

    // Moves the unscanned characters to the front and reads as many more as fit.
    void refill() {
        const auto kept = static_cast<std::size_t>(end_ - next);
        std::memmove(block_.data(), next, kept);
        const std::size_t room = block_.size() - 1 - kept;
        const std::size_t read = std::fread(block_.data() + kept, 1, room, file_);
        // A short read is the end of the file, or an error that ends it as surely.
        if (read < room) drained_ = true;
        next = block_.data();
        end_ = next + kept + read;
        *end_ = '\0';
    }

    char* next;  // the first character not yet scanned

    // For error reports.
    const std::string name;
    int openBraceLine = 0;        // where the block being read opened; 0 between blocks
    int unclosedCommentLine = 0;  // where a comment that ran to the end of the file opened

  private:
    std::FILE* file_;
    std::vector<char> block_;
    char* end_;
    bool drained_ = false;
};

namespace {

SceneInput::Text* innermostText = nullptr;
std::vector<SceneInput::Text*> textsOfOuterInputs;

// Whether the last token closed a quoted name, which an error report then names.
bool quotedNameJustRead = false;

// The last comment met that ran to the end of its file, since the outermost input opened.
std::optional<UnclosedComment> lastUnclosedComment;

// The text of the input that reads `file`: the innermost one, unless a reader was handed a
// file whose input has ended, which is a fault of the program, not of the scene.
SceneInput::Text& textOf(std::FILE* file) {
    if (innermostText == nullptr || innermostText->file() != file) {
        throw std::logic_error("the lexer was handed a file without its scene input");
    }
    return *innermostText;
}

// Whether the text has a character at `next`, reading the next block when it has run out.
bool hasMore(SceneInput::Text& text) {
    if (!text.exhausted()) return true;
    if (text.drained()) return false;
    text.refill();
    return !text.exhausted();
}

// Skips through the next occurrence of `end`, counting lines; false when the file ends first.
bool skipPast(SceneInput::Text& text, char end) {
    while (hasMore(text)) {
        const char c = *text.next++;
        if (c == '\n') ++comptligne;
        if (c == end) return true;
    }
    return false;
}

// Skips a bracket comment, whose "[" has been read; one that runs to the end of the file is
// noted for the reports, since it has most likely swallowed what was meant to follow it.
void skipComment(SceneInput::Text& text) {
    const int opened = comptligne;
    if (!skipPast(text, ']')) {
        text.unclosedCommentLine = opened;
        lastUnclosedComment = UnclosedComment{text.name, opened};
    }
}

// Skips white space and comments; returns the first character of the next token, which is
// left for the token to start from, or EOF.
int nextSignificantChar(SceneInput::Text& text) {
    for (;;) {
        const auto c = static_cast<unsigned char>(*text.next);
        if (c == '\n') {
            ++comptligne;
            ++text.next;
        } else if (isBlank(c)) {
            ++text.next;
        } else if (c == '\0' && text.exhausted()) {
            if (!hasMore(text)) return EOF;
        } else if (c == ';') {
            ++text.next;
            skipPast(text, '\n');
        } else if (c == '[') {
            ++text.next;
            skipComment(text);
        } else {
            return c;
        }
    }
}

// Sets `chaine` to the token at `next`, which runs on from `from` through the characters of
// the class, and moves `next` past it: the character that ends it stays for the next token.
std::string_view takeToken(SceneInput::Text& text, const char* from, CharClass charClass) {
    const char* end = from;
    while (isOf(static_cast<unsigned char>(*end), charClass)) ++end;
    const std::string_view token(text.next, static_cast<std::size_t>(end - text.next));
    if (token.size() > kMaxTokenLength) {
        constexpr std::size_t kShownLength = 16;
        chaine.assign(token.substr(0, kShownLength)).append("...");  // for the report
        mot_cle = TOKEN_WORD;
        yyerror(" word or number longer than " + std::to_string(kMaxTokenLength) + " characters");
    }
    chaine.assign(token);
    text.next += token.size();
    return token;
}

void readWord(SceneInput::Text& text) {
    text.holdToken();
    takeToken(text, text.next + 1, CLASS_WORD);
}

int clampToInt(long value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// `value` followed by the digits at `p`, as an integer: exact while there are at most 19
// digits in all, wrapped beyond. `p` moves past the digits.
std::uint64_t appendDigits(const char*& p, std::uint64_t value) {
    for (unsigned digit; (digit = static_cast<unsigned char>(*p) - unsigned{'0'}) < 10; ++p) {
        value = value * 10 + digit;
    }
    return value;
}

// What a number token starts with: a sign, digits, a point and more digits, each optional.
struct DecimalPrefix {
    std::uint64_t mantissa = 0;  // all the digits as one integer
    std::ptrdiff_t digits = 0;
    std::ptrdiff_t fractionDigits = 0;
    bool negative = false;
};

// Reads the prefix at `p`, which ends at the first character that does not fit it (a NUL at
// worst), and moves `p` past it.
DecimalPrefix scanDecimalPrefix(const char*& p) {
    DecimalPrefix prefix;
    prefix.negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    const char* const integerPart = p;
    prefix.mantissa = appendDigits(p, 0);
    prefix.digits = p - integerPart;
    if (*p == '.') {
        const char* const fraction = ++p;
        prefix.mantissa = appendDigits(p, prefix.mantissa);
        prefix.fractionDigits = p - fraction;
        prefix.digits += prefix.fractionDigits;
    }
    return prefix;
}

// The value of a number token that is its prefix alone, when the prefix has at most 19
// digits and a value that takes one exact quotient by a power of ten: an integer mantissa up
// to 2^53 and a power up to 1e22 are exact doubles, so one correctly rounded division gives
// the correctly rounded value, the very bits strtod gives. Most numbers of a scene are like
// this, and strtod's general method costs several times more. Other tokens return nothing
// and go to strtod.
std::optional<double> simpleDecimal(const DecimalPrefix& prefix) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 53;
    constexpr std::ptrdiff_t kMostDigits = 19;  // fit a 64-bit integer whatever they are

    if (prefix.digits == 0 || prefix.digits > kMostDigits || prefix.mantissa > kExactMantissa) {
        return std::nullopt;
    }
    const double value = static_cast<double>(prefix.mantissa) / kPowersOfTen[prefix.fractionDigits];
    return prefix.negative ? -value : value;
}

// Reads the number token at `next` and converts it as `type_motcle` asks. Its digits are
// scanned once, for its extent and its value together.
void readNumber(SceneInput::Text& text) {
    text.holdToken();
    const char* prefixEnd = text.next;
    const DecimalPrefix prefix = scanDecimalPrefix(prefixEnd);
    const std::string_view token = takeToken(text, prefixEnd, CLASS_NUMBER);
    // Conversion stops silently at the first character that does not fit: "1-2" reads as 1.
    if (type_motcle == NUMBER_DECIMAL) {
        const bool prefixOnly = prefixEnd == token.data() + token.size();
        const std::optional<double> simple = prefixOnly ? simpleDecimal(prefix) : std::nullopt;
        val_DBL = simple ? *simple : std::strtod(chaine.c_str(), nullptr);
    } else {
        val_INT = clampToInt(std::strtol(chaine.c_str(), nullptr, 10));
    }
}

int punctuationCode(int c) {
    switch (c) {
        case '{':
            return TOKEN_OPEN_BRACE;
        case '}':
            return TOKEN_CLOSE_BRACE;
        case '"':
            return TOKEN_QUOTE;
        case '<':
            return TOKEN_OPEN_VECTOR;
        case '>':
            return TOKEN_CLOSE_VECTOR;
        case '#':
            return TOKEN_HASH;
        default:
            return TOKEN_WORD;
    }
}

// Every word of a scene is looked up, so the keywords are indexed once in an open-addressing
// table, hashed on the length and three letters: that tells them apart well enough, for less
// than hashing every letter costs.
class KeywordIndex {
  public:
    KeywordIndex() {
        for (const Keyword& keyword : liste_motcle) {
            std::size_t slot = hash(keyword.text);
            while (!slots_[slot].text.empty()) slot = (slot + 1) % kSlots;
            slots_[slot] = {keyword.text, keyword.code};
        }
    }

    // The code of the keyword `word`, or TOKEN_WORD when it is none.
    int codeOf(std::string_view word) const {
        for (std::size_t slot = hash(word); !slots_[slot].text.empty();
             slot = (slot + 1) % kSlots) {
            if (slots_[slot].text == word) return slots_[slot].code;
        }
        return TOKEN_WORD;
    }

  private:
    static constexpr std::size_t kSlots = 256;  // over three times the keywords: short probes
    static_assert(kSlots > kKeywordCount);

    struct Slot {
        std::string_view text;
        int code = TOKEN_WORD;
    };

    static std::size_t hash(std::string_view word) {
        if (word.empty()) return 0;
        return (word.size() * 131 + static_cast<unsigned char>(word.front()) * 31 +
                static_cast<unsigned char>(word[word.size() / 2]) * 7 +
                static_cast<unsigned char>(word.back())) %
               kSlots;
    }

    std::array<Slot, kSlots> slots_{};
};

const KeywordIndex keywordIndex;

// Reads a number token that must be there, with `message` as the error when it is not.
void expectNumber(std::FILE* file, const char* message) {
    if (Lire_MotCle(file) != TOKEN_NUMBER) yyerror(message);
}

void expectToken(std::FILE* file, int code, const char* message) {
    if (Lire_MotCle(file) != code) yyerror(message);
}

// The rest of a vector once its "<" is read.
void readVectorComponents(std::FILE* file) {
    expectNumber(file, " x component expected");
    vect_tmp.x = val_DBL;
    expectNumber(file, " y component expected");
    vect_tmp.y = val_DBL;
    expectNumber(file, " z componente expected");
    vect_tmp.z = val_DBL;
    expectToken(file, TOKEN_CLOSE_VECTOR, " Closing bracket '>' expected after z component");
}

}  // namespace

SceneInput::SceneInput(std::FILE* file, std::string name, std::size_t blockSize)
    : text_(std::make_unique<Text>(file, std::move(name), blockSize)) {
    if (innermostText != nullptr) {
        textsOfOuterInputs.push_back(innermostText);
    } else {
        lastUnclosedComment.reset();
    }
    innermostText = text_.get();
}

SceneInput::~SceneInput() {
    if (textsOfOuterInputs.empty()) {
        innermostText = nullptr;
    } else {
        innermostText = textsOfOuterInputs.back();
        textsOfOuterInputs.pop_back();
    }
}

int Lire_MotCle(std::FILE* file) {
    SceneInput::Text& text = textOf(file);
    chaine.clear();
    quotedNameJustRead = false;
    const int c = nextSignificantChar(text);
    int code = c == EOF ? TOKEN_EOF : punctuationCode(c);
    if (code != TOKEN_WORD) {
        if (code != TOKEN_EOF) ++text.next;
        if (code == TOKEN_OPEN_BRACE) text.openBraceLine = comptligne;
        if (code == TOKEN_CLOSE_BRACE) text.openBraceLine = 0;
    } else if (isLetter(c)) {
        readWord(text);
        code = Trouve_MotCle();
    } else if (isDigit(c) || c == '+' || c == '-' || c == '.') {
        readNumber(text);
        code = TOKEN_NUMBER;
    } else {
        chaine.assign(1, static_cast<char>(c));  // for the report
        mot_cle = TOKEN_WORD;
        std::printf("\n Syntaxic analyser stopped on character: '%c'", c);
        std::printf("\n Please review the script");
        yyerror("");
    }
    mot_cle = code;
    return code;
}

int Trouve_MotCle() {
    const int code = keywordIndex.codeOf(chaine);
    if (code != TOKEN_WORD) mot_cle = code;
    return code;
}

void Lire_RVB(std::FILE* file) {
    type_motcle = NUMBER_DECIMAL;
    if (Lire_MotCle(file) == TOKEN_HASH) {
        Lire_MotCle(file);
        for (const ColorEntry* entry = myColorList; entry != nullptr; entry = entry->next) {
            if (chaine == entry->name) {
                rvb_tmp = entry->color;
                return;
            }
        }
        yyerror(" Color declaration not found");
    }
    if (mot_cle != TOKEN_NUMBER) yyerror(" Red component expected");
    rvb_tmp.r = val_DBL;
    expectNumber(file, " Green component expected");
    rvb_tmp.g = val_DBL;
    expectNumber(file, " Blue component expeced");
    rvb_tmp.b = val_DBL;
}

void Lire_Vecteur(std::FILE* file) {
    type_motcle = NUMBER_DECIMAL;
    expectToken(file, TOKEN_OPEN_VECTOR, " Opening backet '<' expected before x component");
    readVectorComponents(file);
}

void Lire_Facteur(std::FILE* file) {
    type_motcle = NUMBER_DECIMAL;
    if (Lire_MotCle(file) == TOKEN_NUMBER) {
        vect_tmp = {val_DBL, val_DBL, val_DBL};
        return;
    }
    if (mot_cle != TOKEN_OPEN_VECTOR) yyerror(" Decimal value or vector expected");
    readVectorComponents(file);
}

void Lire_Decimal(std::FILE* file) {
    type_motcle = NUMBER_DECIMAL;
    expectNumber(file, " Decimal value expected");
}

void Lire_Entier(std::FILE* file) {
    type_motcle = NUMBER_INTEGER;
    expectNumber(file, " Integer value expected");
}

void Lire_Chaine(std::FILE* file) {
    type_motcle = NUMBER_DECIMAL;
    expectToken(file, TOKEN_QUOTE, " string expected");
    Lire_MotCle(file);
    strTemp = chaine;
    expectToken(file, TOKEN_QUOTE, " '\"' string delimiter expected");
    quotedNameJustRead = true;
}

void addColorToList(ColorEntry** head, ColorEntry* entry) {
    addToList(head, entry);
}

int freeColorList(ColorEntry** head) {
    return freeList(head);
}

std::optional<UnclosedComment> unclosedComment() {
    return lastUnclosedComment;
}

void yyerror(const std::string& message, std::string_view hint) {
    std::printf("\n Parser Error - line: %d", comptligne);
    if (!sourceName.empty()) std::printf(" in %s", sourceName.c_str());
    if (message.empty()) {
        std::printf("\n");
    } else {
        std::printf(" - %s\n", message.c_str());
    }
    if (innermostText != nullptr) {
        const ErrorContext context{
            .fileName = innermostText->name,
            .line = comptligne,
            .tokenCode = mot_cle,
            .tokenText = chaine,
            .quotedName = quotedNameJustRead ? std::string_view(strTemp) : std::string_view(),
            .openBraceLine = innermostText->openBraceLine,
            .unclosedCommentLine = innermostText->unclosedCommentLine,
            .hint = hint,
        };
        std::printf("%s\n", describeErrorContext(context).c_str());
    }
    endProgram(kErrorStatus);
}
