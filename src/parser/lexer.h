#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/records.h"

// Codes that Lire_MotCle returns besides the keyword codes.
enum TokenCode : int {
    TOKEN_EOF = -1,
    TOKEN_WORD = 0,  // a word that is not a keyword
    TOKEN_NUMBER = 1,
    TOKEN_OPEN_BRACE = 10,
    TOKEN_CLOSE_BRACE = 11,
    TOKEN_OPEN_VECTOR = 12,
    TOKEN_CLOSE_VECTOR = 13,
    TOKEN_HASH = 14,   // introduces a declared colour
    TOKEN_QUOTE = 15,  // opens and closes a quoted name
};

// Keyword codes of liste_motcle. Several words may share one code.
enum KeywordCode : int {
    KW_INCLUDE = 4,
    KW_DECLARE = 5,
    KW_CAMERA = 100,
    KW_POSITION = 101,
    KW_LOOK_AT = 102,
    KW_UP = 103,
    KW_FOV = 104,
    KW_RATIO = 105,
    KW_APERTURE = 106,
    KW_FOCAL_LENGTH = 107,
    KW_SAMPLES = 108,
    KW_LIGHT = 109,
    KW_PROJECTION_TYPE = 110,
    KW_ATTENUATION_TYPE = 111,
    KW_SHADOW_TYPE = 112,
    KW_LIGHT_SAMPLES = 113,
    KW_CAMERA_SAMPLES = 114,
    KW_CAMERA_INDEX = 115,
    KW_LIGHT_TYPE = 116,
    KW_MIN_ANGLE = 117,
    KW_MAX_ANGLE = 118,
    KW_DIRECTION = 119,  // reserved
    KW_TARGET = 120,
    KW_FOCAL_POINT = 121,
    KW_SETTINGS = 200,
    KW_BACKGROUND = 201,
    KW_DISPLAY = 202,
    KW_OUTPUT_TYPE = 203,
    KW_OUTPUT_NAME = 204,
    KW_JITTER = 205,
    KW_ANTIALIASING = 206,
    KW_AA_DISTANCE = 207,
    KW_HAZE_COLOR = 208,
    KW_HAZE_FACTOR = 209,
    KW_JPEG_QUALITY = 210,
    KW_INPUT_NAME = 211,
    KW_GLOBAL_ILLUMINATION = 212,  // reserved, like the four below
    KW_DISTRIBUTION = 213,
    KW_BRIGHTNESS = 214,
    KW_HAMMERSLEY = 215,
    KW_HALTON = 216,
    KW_SURFACE = 300,
    KW_REFLECTION = 301,
    KW_REFRACTION = 302,
    KW_REFRACTION_INDEX = 303,
    KW_COLOR = 304,
    KW_AMBIENT = 305,
    KW_BRILLIANCE = 306,
    KW_ROUGHNESS = 307,
    KW_DIFFUSE = 308,
    KW_SPECULAR = 309,
    KW_REFLECTION_TYPE = 310,
    KW_REFLECTION_SAMPLES = 311,
    KW_REFLECTION_RADIUS = 312,
    KW_PLANE = 400,
    KW_NORMAL = 401,
    KW_DISTANCE = 402,
    KW_SPHERE = 500,
    KW_CENTER = 501,
    KW_RADIUS = 502,
    KW_CONE = 600,
    KW_BASE = 601,
    KW_CAP = 602,
    KW_BASE_RADIUS = 603,
    KW_CAP_RADIUS = 604,
    KW_RING = 700,
    KW_INTERNAL_RADIUS = 701,
    KW_EXTERNAL_RADIUS = 702,
    KW_DISC = 704,
    KW_POLYGON = 800,
    KW_VERTEX = 801,
    KW_CYLINDER = 900,
    KW_TRIANGLE = 901,
    KW_PATCH = 902,
    KW_SMOOTH_TRIANGLE = 903,
    KW_MODIFY = 1000,  // reserved
    KW_MESH = 1100,
    KW_FILE = 1101,
    KW_SCALE = 1102,
    KW_ROTATE = 1103,
    KW_TRANSLATE = 1104,
    KW_SMOOTH = 1105,
    KW_FLAT = 1106,
    KW_MATERIALS = 1107,
};

struct Keyword {
    const char* text;
    int code;
};

constexpr int kKeywordCount = 87;
extern const Keyword liste_motcle[kKeywordCount];

// How the next number token is converted.
enum NumberType : unsigned char { NUMBER_DECIMAL = 2, NUMBER_INTEGER = 3 };

// Longest word, number or quoted name; longest declared colour name.
constexpr std::size_t kMaxTokenLength = 255;
constexpr std::size_t kMaxColorNameLength = sizeof(ColorEntry::name) - 1;

// Lexer state, shared by every block parser and by included files.
extern std::string chaine;  // text of the last word or number token
extern int mot_cle;         // code of the last token
extern NumberType type_motcle;
extern double val_DBL;
extern int val_INT;
extern Color rvb_tmp;
extern Vector3 vect_tmp;
extern std::string strTemp;     // last quoted name
extern int comptligne;          // line of the file being read, for error reports
extern std::string sourceName;  // the included file being read; empty for the scene itself

// Makes `file` readable by Lire_MotCle and the value readers for the lifetime of this object.
// The lexer reads the file in large blocks and scans tokens in memory, so nothing else may
// read the file meanwhile. Inputs nest as includes do: the innermost one is read first.
class SceneInput {
  public:
    static constexpr std::size_t kDefaultBlockSize = std::size_t{1} << 16;

    // `name` is the file's name in error reports.
    SceneInput(std::FILE* file, std::string name, std::size_t blockSize = kDefaultBlockSize);
    ~SceneInput();
    SceneInput(const SceneInput&) = delete;
    SceneInput& operator=(const SceneInput&) = delete;

    class Text;  // the characters read and not yet scanned

  private:
    std::unique_ptr<Text> text_;
};

int Lire_MotCle(std::FILE* file);
int Trouve_MotCle();
void Lire_RVB(std::FILE* file);
void Lire_Vecteur(std::FILE* file);
// A vector, or one number standing for the vector of three equal components; into vect_tmp.
void Lire_Facteur(std::FILE* file);
void Lire_Decimal(std::FILE* file);
void Lire_Entier(std::FILE* file);
void Lire_Chaine(std::FILE* file);

void addColorToList(ColorEntry** head, ColorEntry* entry);
int freeColorList(ColorEntry** head);

// A bracket comment that ran to the end of its file: most likely a "]" is missing.
struct UnclosedComment {
    std::string fileName;
    int line;  // where its "[" is
};

// The last such comment met since the outermost scene input opened.
std::optional<UnclosedComment> unclosedComment();

// Reports a parse error at the current line and ends the run with status 255. While a file
// is being read, a second line names it and the token read, with what was probably meant
// and `hint`, what the failing reader adds.
[[noreturn]] void yyerror(const std::string& message, std::string_view hint = {});
