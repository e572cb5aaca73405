#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

#include "model/fatal.h"
#include "model/globals.h"
#include "model/surface.h"
#include "parser/blocks.h"
#include "parser/lexer.h"
#include "parser/parser.h"

namespace {

// Top-level blocks read so far; only the top level counts them.
struct BlockCounts {
    short c;   // camera
    short s;   // settings
    short su;  // surface
    short l;   // light
} blocks;

Surface surface = kDefaultSurface;

// Deep enough for any sane scene, shallow enough to stop long before the stack would.
constexpr std::size_t kMaxIncludeDepth = 32;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScenePtr = std::unique_ptr<std::FILE, FileCloser>;

// A scene file being read: what identifies it on disk, and where its includes are looked for.
struct OpenScene {
    dev_t device;
    ino_t inode;
    std::filesystem::path directory;
};
std::vector<OpenScene> openScenes;  // outermost first

ScenePtr openRegularFile(const std::string& path) {
    ScenePtr file(std::fopen(path.c_str(), "r"));
    struct stat info;
    if (file && (fstat(fileno(file.get()), &info) != 0 || S_ISDIR(info.st_mode))) file.reset();
    return file;
}

// Opens a scene by the name given; failing that, an included name is looked for beside the
// file that includes it, so a scene can be rendered from any working directory.
ScenePtr openScene(std::string& path) {
    ScenePtr file = openRegularFile(path);
    if (!file && !openScenes.empty() && !openScenes.back().directory.empty()) {
        std::string besideIncluder = (openScenes.back().directory / path).string();
        file = openRegularFile(besideIncluder);
        if (file) path = std::move(besideIncluder);
    }
    return file;
}

// While one file is read, error reports count its own lines and name it when it is an
// included file; the includer's line count comes back when it ends. Refuses include cycles
// and runaway nesting, reported at the include statement.
class SceneFrame {
  public:
    SceneFrame(std::FILE* file, const std::string& path) {
        struct stat info;
        fstat(fileno(file), &info);
        for (const OpenScene& open : openScenes) {
            if (open.device == info.st_dev && open.inode == info.st_ino) {
                yyerror(" include cycle: " + path + " is already being read");
            }
        }
        if (openScenes.size() >= kMaxIncludeDepth) {
            yyerror(" includes nested more than " + std::to_string(kMaxIncludeDepth) +
                    " files deep");
        }
        savedLine_ = comptligne;
        savedName_ = sourceName;
        sourceName = openScenes.empty() ? std::string() : path;
        comptligne = 1;
        openScenes.push_back({info.st_dev, info.st_ino, std::filesystem::path(path).parent_path()});
    }
    ~SceneFrame() {
        openScenes.pop_back();
        comptligne = savedLine_;
        sourceName = savedName_;
    }
    SceneFrame(const SceneFrame&) = delete;
    SceneFrame& operator=(const SceneFrame&) = delete;

  private:
    int savedLine_;
    std::string savedName_;
};

void readStatement(std::FILE* file) {
    switch (mot_cle) {
        case KW_INCLUDE: {
            Lire_Chaine(file);
            const std::string name = strTemp;
            parseScene(name.c_str());
            break;
        }
        case KW_DECLARE:
            yy_declare(file);
            break;
        case KW_CAMERA:
            yy_camera(file);
            ++blocks.c;
            break;
        case KW_LIGHT:
            yy_light(file);
            ++blocks.l;
            break;
        case KW_SETTINGS:
            yy_settings(file);
            ++blocks.s;
            break;
        case KW_SURFACE:
            yy_surface(file);
            ++blocks.su;
            break;
        case KW_SPHERE:
            yy_sphere(file);
            break;
        case KW_PLANE:
            yy_plane(file);
            break;
        default:
            std::printf("\n Scene parser returned error: %d '%s'\n", mot_cle, chaine.c_str());
            yyerror(" Unkown term");
    }
}

void resetCounters() {
    iNumSphere = iNumRing = iNumPlane = iNumCone = iNumCylinder = iNumDisc = iNumPolygone =
        iNumTriangle = iNumPatch = iNumSurface = iNumLight = 0;
    blocks = {};
}

// The first missing block, or null when the scene has all it needs to be rendered.
const char* missingBlock() {
    if (blocks.c == 0) return " Missing camera!";
    if (blocks.s == 0) return " Missing settings!";
    if (blocks.su == 0) return " Missing surface!";
    return nullptr;
}

void printSummary() {
    std::printf("\n\n Number of sphere(s):\t\t%d\n", iNumSphere);
    std::printf(" Number of ring(s):\t\t%d\n", iNumRing);
    std::printf(" Number of plane(s):\t\t%d\n", iNumPlane);
    std::printf(" Number of cone(s):\t\t%d\n", iNumCone);
    std::printf(" Number of cylinder(s):\t\t%d\n", iNumCylinder);
    std::printf(" Number of disc(s):\t\t%d\n", iNumDisc);
    std::printf(" Number of polygon(s):\t\t%d\n", iNumPolygone);
    std::printf(" Number of triangle(s):\t\t%d\n", iNumTriangle);
    std::printf(" Number of patch(es):\t\t%d\n", iNumPatch);
    std::printf(" Number of surface(s):\t\t%d\n", iNumSurface);
    std::printf(" Number of light(s):\t\t%d\n", iNumLight);
}

}  // namespace

const Surface& currentSurface() {
    return surface;
}

int parseFile(const char* path) {
    resetCounters();
    // Objects placed before the first surface block get what a new surface block starts from.
    surface = kDefaultSurface;
    parseScene(path);
    freeColorList(&myColorList);

    if (const char* missing = missingBlock()) {
        std::printf("%s", missing);
        return -1;
    }
    if (blocks.l == 0) std::printf(" Warning: scene doesn't contain any light.");
    printSummary();
    return 0;
}

int parseScene(const char* path) {
    std::string name = path;
    const ScenePtr file = openScene(name);
    if (!file) {
        std::printf("\n Scene file: %s could no be opened\n", name.c_str());
        endProgram(kErrorStatus);
    }
    const SceneFrame frame(file.get(), name);
    std::printf("\n Parsing %s", name.c_str());
    while (Lire_MotCle(file.get()) != TOKEN_EOF) readStatement(file.get());
    return 0;
}

void expectOpeningBrace(std::FILE* file) {
    if (Lire_MotCle(file) != TOKEN_OPEN_BRACE) yyerror(" Opening bracket '{' expected");
}

int readChoice(std::FILE* file, std::initializer_list<Choice> choices, const char* message) {
    Lire_Chaine(file);
    for (const Choice& choice : choices) {
        if (strTemp == choice.word) return choice.value;
    }
    yyerror(message);
}

void yy_declare(std::FILE* file) {
    Lire_Chaine(file);
    if (strTemp.size() > kMaxColorNameLength) {
        yyerror(" color name longer than " + std::to_string(kMaxColorNameLength) + " characters");
    }
    auto entry = std::make_unique<ColorEntry>();
    std::strcpy(entry->name, strTemp.c_str());

    if (Lire_MotCle(file) != KW_COLOR) yyerror(" Unkown element in declaration");
    Lire_Decimal(file);
    entry->color.r = val_DBL;
    Lire_Decimal(file);
    entry->color.g = val_DBL;
    Lire_Decimal(file);
    entry->color.b = val_DBL;
    addColorToList(&myColorList, entry.release());
}

void yy_settings(std::FILE* file) {
    expectOpeningBrace(file);
    // Output type, output name and JPEG quality carry over from an earlier settings block.
    myBackGroundColor = {0, 0, 0};
    myDisplay.width = 320;
    myDisplay.height = 240;
    jitter = 0;
    iAntialias = ANTIALIAS_NONE;
    adapt_dist = 64;
    myHaze = {0, {0, 0, 0}};

    int outputTypes = 0;
    int outputNames = 0;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        switch (mot_cle) {
            case KW_BACKGROUND:
                Lire_RVB(file);
                myBackGroundColor = rvb_tmp;
                break;
            case KW_DISPLAY:
                Lire_Entier(file);
                myDisplay.width = val_INT;
                Lire_Entier(file);
                myDisplay.height = val_INT;
                break;
            case KW_OUTPUT_TYPE:
                iImageType = readChoice(file,
                                        {{"tga", IMAGE_TGA},
                                         {"bmp", IMAGE_BMP},
                                         {"ppm", IMAGE_PPM},
                                         {"png", IMAGE_PNG},
                                         {"jpeg", IMAGE_JPEG},
                                         {"tiff", IMAGE_TIFF}},
                                        " invalid output file type specified");
                ++outputTypes;
                break;
            case KW_OUTPUT_NAME:
                Lire_Chaine(file);
                std::strcpy(myDisplay.outputName, strTemp.c_str());  // a name is at most 255
                ++outputNames;
                break;
            case KW_JITTER:
                jitter = readChoice(file, {{"yes", 1}, {"no", 0}},
                                    " jitter must be either 'yes' or 'no'");
                break;
            case KW_ANTIALIASING:
                iAntialias = readChoice(file,
                                        {{"none", ANTIALIAS_NONE},
                                         {"quick", ANTIALIAS_QUICK},
                                         {"adaptive", ANTIALIAS_ADAPTIVE}},
                                        " invalid anti-aliasing type specified");
                break;
            case KW_AA_DISTANCE:
                Lire_Entier(file);
                adapt_dist = val_INT;
                break;
            case KW_HAZE_COLOR:
                Lire_RVB(file);
                myHaze.color = rvb_tmp;
                break;
            case KW_HAZE_FACTOR:
                Lire_Decimal(file);
                myHaze.factor = val_DBL;
                break;
            case KW_JPEG_QUALITY:
                Lire_Entier(file);
                jpeg_quality = val_INT <= 0 ? 90 : std::min(val_INT, 100);
                break;
            default:
                yyerror(" Unkown parameter in settings structure");
        }
    }
    if (outputTypes != 1 || outputNames != 1) yyerror(" error in settings structure declaration");
}

void yy_camera(std::FILE* file) {
    myViewPoint.up = {0, 0, 1};
    myViewPoint.fovH = std::numbers::pi / 8;  // a 45-degree field of view
    myViewPoint.ratio = 4.0 / 3.0;
    myViewPoint.aperture = 0;
    myViewPoint.focalLength = 10;
    myViewPoint.cameraSamples = 16;
    myViewPoint.projectionType = PROJECTION_FLAT;
    Vector3 focalPoint{0, 0, 0};

    expectOpeningBrace(file);
    int positions = 0, lookAts = 0, focalLengths = 0, focalPoints = 0;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        switch (mot_cle) {
            case KW_POSITION:
                Lire_Vecteur(file);
                myViewPoint.position = vect_tmp;
                ++positions;
                break;
            case KW_LOOK_AT:
                Lire_Vecteur(file);
                myViewPoint.lookAt = vect_tmp;
                ++lookAts;
                break;
            case KW_UP:
                Lire_Vecteur(file);
                myViewPoint.up = vect_tmp;
                break;
            case KW_FOV:
                Lire_Decimal(file);
                myViewPoint.fovH = val_DBL * 0.5 * std::numbers::pi / 180;
                break;
            case KW_RATIO:
                Lire_Decimal(file);
                myViewPoint.ratio = val_DBL;
                break;
            case KW_APERTURE:
                Lire_Decimal(file);
                myViewPoint.aperture = val_DBL;
                break;
            case KW_FOCAL_LENGTH:
                Lire_Decimal(file);
                myViewPoint.focalLength = val_DBL;
                ++focalLengths;
                break;
            case KW_SAMPLES:
            case KW_CAMERA_SAMPLES:
                Lire_Entier(file);
                if (val_INT < 1) yyerror(" camera samples must be greater than 0");
                myViewPoint.cameraSamples = val_INT;
                break;
            case KW_PROJECTION_TYPE:
                myViewPoint.projectionType =
                    readChoice(file, {{"flat", PROJECTION_FLAT}, {"fisheye", PROJECTION_FISHEYE}},
                               " invalid camera projection type specified");
                break;
            case KW_FOCAL_POINT:
                Lire_Vecteur(file);
                focalPoint = vect_tmp;
                ++focalPoints;
                break;
            default:
                yyerror(" Unkown parameter in camera structure");
        }
    }
    if (positions != 1 || lookAts != 1) yyerror(" error in camera structure declaration");
    if (focalLengths > 0 && focalPoints > 0)
        yyerror(" focal lenght OR focal point must be defined");
    if (focalPoints > 0) myViewPoint.focalLength = length(focalPoint - myViewPoint.position);
}

void yy_surface(std::FILE* file) {
    // A surface block describes a whole surface: what it leaves out takes the defaults,
    // not the values of the previous surface.
    Surface next = kDefaultSurface;
    expectOpeningBrace(file);
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        switch (mot_cle) {
            case KW_COLOR: {
                Lire_RVB(file);
                const auto inRange = [](double v) { return v >= 0 && v <= 1; };
                if (!inRange(rvb_tmp.r) || !inRange(rvb_tmp.g) || !inRange(rvb_tmp.b)) {
                    yyerror(" invalid color component(s)");
                }
                next.color = rvb_tmp;
                break;
            }
            case KW_AMBIENT:
                Lire_Decimal(file);
                next.ambient = val_DBL;
                break;
            case KW_DIFFUSE:
                Lire_Decimal(file);
                next.diffuse = val_DBL;
                break;
            case KW_BRILLIANCE:
                Lire_Decimal(file);
                next.brilliance = val_DBL;
                break;
            case KW_SPECULAR:
                Lire_Decimal(file);
                next.specular = val_DBL;
                break;
            case KW_ROUGHNESS:
                Lire_Decimal(file);
                next.roughness = val_DBL;
                break;
            case KW_REFLECTION:
                Lire_Decimal(file);
                next.reflection = val_DBL;
                break;
            case KW_REFLECTION_TYPE:
                next.reflectionType =
                    readChoice(file, {{"sharp", REFLECTION_SHARP}, {"fuzzy", REFLECTION_FUZZY}},
                               " invalid reflection type specified");
                break;
            case KW_REFLECTION_SAMPLES:
                Lire_Entier(file);
                next.reflectionSamples = val_INT;
                break;
            case KW_REFLECTION_RADIUS:
                Lire_Decimal(file);
                next.reflectionRadius = val_DBL;
                break;
            case KW_REFRACTION:
                Lire_Decimal(file);
                next.refraction = val_DBL;
                break;
            case KW_REFRACTION_INDEX:
                Lire_Decimal(file);
                next.refractionIndex = val_DBL;
                if (next.refractionIndex < 1) {
                    std::printf(" indice of refraction cannot be lower than 1.0");
                    next.refractionIndex = 1;
                }
                break;
            default:
                yyerror(" Unkown parameter in surface structure");
        }
    }
    surface = next;
    ++iNumSurface;
}
