#include "parser/lexer.h"

#include <array>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "model/data.h"
#include "model/fatal.h"
#include "model/globals.h"

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
bool isWordChar(int c) {
    return isOf(c, CLASS_WORD);
}
bool isNumberChar(int c) {
    return isOf(c, CLASS_NUMBER);
}

// The next character of the file. A scene file is read by one thread, so the stream's lock,
// which fgetc takes for every character, buys nothing.
int readChar(std::FILE* file) {
    return getc_unlocked(file);
}

// Skips through the next occurrence of `end` (or to the end of the file), counting lines.
void skipPast(std::FILE* file, int end) {
    int c;
    while ((c = readChar(file)) != EOF) {
        if (c == '\n') ++comptligne;
        if (c == end) return;
    }
}

// Skips white space and comments; returns the first character of the next token.
int nextSignificantChar(std::FILE* file) {
    for (;;) {
        const int c = readChar(file);
        if (c == '\n') {
            ++comptligne;
        } else if (isBlank(c)) {
            continue;
        } else if (c == '[') {
            skipPast(file, ']');
        } else if (c == ';') {
            skipPast(file, '\n');
        } else {
            return c;
        }
    }
}

// Sets `chaine` to `first` and every following character of the class. The characters
// gather in a local buffer: scene files are mostly numbers, and appending them one by one to
// the string would cost more than reading them.
template <typename Belongs>
void collect(std::FILE* file, int first, Belongs belongs) {
    char token[kMaxTokenLength];
    std::size_t length = 0;
    int c = first;
    do {
        if (length == kMaxTokenLength) {
            yyerror(" word or number longer than " + std::to_string(kMaxTokenLength) +
                    " characters");
        }
        token[length++] = static_cast<char>(c);
        c = readChar(file);
    } while (belongs(c));
    // The character that ended the token goes back for the next one, unless it is a space
    // or a tab, which the next token would only skip (a newline goes back: it counts a line).
    if (c != EOF && c != ' ' && c != '\t') std::ungetc(c, file);
    chaine.assign(token, length);
}

int clampToInt(long value) {
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// The decimal number of a token that is one whole number of at most 19 significant digits,
// no exponent part, and a value that takes one exact product or quotient by a power of ten:
// an integer mantissa up to 2^53 and a power up to 1e22 are exact doubles, so one correctly
// rounded operation gives the correctly rounded value, the very bits strtod gives. Most
// numbers of a scene are like this, and strtod's general method costs several times more.
// Other tokens return nothing and go to strtod.
std::optional<double> simpleDecimal(const std::string& text) {
    static constexpr double kPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                              1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                              1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr std::uint64_t kExactMantissa = std::uint64_t{1} << 53;
    constexpr int kMostDigits = 19;  // fit a 64-bit integer whatever they are

    const char* p = text.c_str();
    const bool negative = *p == '-';
    if (*p == '+' || *p == '-') ++p;
    std::uint64_t mantissa = 0;
    int significant = 0;
    int scale = 0;  // the power of ten the mantissa is to be multiplied by
    bool anyDigit = false;
    bool inFraction = false;
    for (;; ++p) {
        if (*p == '.' && !inFraction) {
            inFraction = true;
            continue;
        }
        if (!isDigit(static_cast<unsigned char>(*p))) break;
        anyDigit = true;
        if (mantissa != 0 || *p != '0') {
            if (++significant > kMostDigits) return std::nullopt;
        }
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
        if (inFraction) --scale;
    }
    if (!anyDigit || *p != '\0' || mantissa > kExactMantissa || scale < -22) return std::nullopt;
    const double value = static_cast<double>(mantissa) / kPowersOfTen[-scale];
    return negative ? -value : value;
}

void convertNumber() {
    // Conversion stops silently at the first character that does not fit: "1-2" reads as 1.
    if (type_motcle == NUMBER_DECIMAL) {
        const std::optional<double> simple = simpleDecimal(chaine);
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

// Reads a number token that must be there, with `message` as the error when it is not.
void expectNumber(std::FILE* file, const char* message) {
    if (Lire_MotCle(file) != TOKEN_NUMBER) yyerror(message);
}

void expectToken(std::FILE* file, int code, const char* message) {
    if (Lire_MotCle(file) != code) yyerror(message);
}

}  // namespace

int Lire_MotCle(std::FILE* file) {
    chaine.clear();
    const int c = nextSignificantChar(file);
    int code;
    if (c == EOF) {
        code = TOKEN_EOF;
    } else if (punctuationCode(c) != TOKEN_WORD) {
        code = punctuationCode(c);
    } else if (isLetter(c)) {
        collect(file, c, [](int ch) { return isWordChar(ch); });
        code = Trouve_MotCle();
    } else if (isDigit(c) || c == '+' || c == '-' || c == '.') {
        collect(file, c, [](int ch) { return isNumberChar(ch); });
        convertNumber();
        code = TOKEN_NUMBER;
    } else {
        std::printf("\n Syntaxic analyser stopped on character: '%c'", c);
        std::printf("\n Please review the script");
        yyerror("");
    }
    mot_cle = code;
    return code;
}

int Trouve_MotCle() {
    // Every word of a scene is looked up, so the table is indexed once by its words, with a
    // hash of a few of their letters: it tells the keywords apart well enough, for less than
    // hashing every letter costs.
    struct WordHash {
        std::size_t operator()(std::string_view word) const {
            if (word.empty()) return 0;
            return word.size() * 131 + static_cast<unsigned char>(word.front()) * 31 +
                   static_cast<unsigned char>(word[word.size() / 2]) * 7 +
                   static_cast<unsigned char>(word.back());
        }
    };
    static const std::unordered_map<std::string_view, int, WordHash> codes = [] {
        std::unordered_map<std::string_view, int, WordHash> byWord;
        for (const Keyword& keyword : liste_motcle) byWord.emplace(keyword.text, keyword.code);
        return byWord;
    }();
    const auto found = codes.find(chaine);
    if (found == codes.end()) return TOKEN_WORD;
    mot_cle = found->second;
    return found->second;
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
    expectNumber(file, " x component expected");
    vect_tmp.x = val_DBL;
    expectNumber(file, " y component expected");
    vect_tmp.y = val_DBL;
    expectNumber(file, " z componente expected");
    vect_tmp.z = val_DBL;
    expectToken(file, TOKEN_CLOSE_VECTOR, " Closing bracket '>' expected after z component");
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
}

void addColorToList(ColorEntry** head, ColorEntry* entry) {
    addToList(head, entry);
}

int freeColorList(ColorEntry** head) {
    return freeList(head);
}

void yyerror(const std::string& message) {
    std::printf("\n Parser Error - line: %d", comptligne);
    if (!sourceName.empty()) std::printf(" in %s", sourceName.c_str());
    if (message.empty()) {
        std::printf("\n");
    } else {
        std::printf(" - %s\n", message.c_str());
    }
    endProgram(kErrorStatus);
}
