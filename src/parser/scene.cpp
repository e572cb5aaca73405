#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "model/fatal.h"
#include "model/globals.h"
#include "model/input_file.h"
#include "parser/blocks.h"
#include "parser/lexer.h"
#include "parser/parser.h"
#include "primitives/flat.h"

namespace {

// Top-level blocks read so far; only the top level counts them.
// Wide enough that no scene that fits in memory could make them wrap to 0.
struct BlockCounts {
    std::int64_t c;   // camera
    std::int64_t s;   // settings
    std::int64_t su;  // surface
    std::int64_t l;   // light
} blocks;

// Deep enough for any sane scene, shallow enough to stop long before the stack would.
constexpr std::size_t kMaxIncludeDepth = 32;

// A scene file being read: what identifies it on disk, and where its includes are looked for.
struct OpenScene {
    dev_t device;
    ino_t inode;
    std::filesystem::path directory;
};
std::vector<OpenScene> openScenes;  // outermost first

// Opens a scene by the name given; failing that, an included name is looked for beside the
// file that includes it, so a scene can be rendered from any working directory.
FilePtr openScene(std::string& path) {
    FilePtr file = openRegularFile(path.c_str(), "r");
    if (!file && !openScenes.empty() && !openScenes.back().directory.empty()) {
        std::string besideIncluder = (openScenes.back().directory / path).string();
        file = openRegularFile(besideIncluder.c_str(), "r");
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
        case KW_DISC:
            yy_disc(file);
            break;
        case KW_RING:
            yy_ring(file);
            break;
        case KW_CYLINDER:
            yy_cylindre(file);
            break;
        case KW_CONE:
            yy_cone(file);
            break;
        case KW_POLYGON:
            yy_polygon(file);
            break;
        case KW_TRIANGLE:
            yy_triangle(file);
            break;
        case KW_PATCH:
        case KW_SMOOTH_TRIANGLE:
            yy_patch(file);
            break;
        case KW_MESH:
            yy_mesh(file);
            break;
        default:
            std::printf("\n Scene parser returned error: %d '%s'\n", mot_cle, chaine.c_str());
            yyerror(" Unkown term");
    }
}

void resetCounters() {
    iNumSphere = iNumRing = iNumPlane = iNumCone = iNumCylinder = iNumDisc = iNumPolygone =
        iNumTriangle = iNumPatch = iNumSurface = iNumLight = iNumMesh = 0;
    iNumMeshFace = 0;
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
    // Scenes without meshes keep the summary they always had.
    if (iNumMesh == 0) return;
    std::printf(" Number of mesh(es):\t\t%d\n", iNumMesh);
    std::printf(" Number of mesh face(s):\t%ld\n", iNumMeshFace);
}

// A comment left open swallows the rest of its file without a word; what it swallowed may
// be why a block is missing, or why the picture lacks objects.
void warnOfUnclosedComment(bool atLineStart) {
    if (const std::optional<UnclosedComment> comment = unclosedComment()) {
        std::printf("%s Warning: the comment opened by \"[\" on line %d of %s never ends\n",
                    atLineStart ? "" : "\n", comment->line, comment->fileName.c_str());
    }
}

}  // namespace

int parseFile(const char* path) {
    resetCounters();
    // Objects placed before the first surface block get what a new surface block starts from.
    resetCurrentSurface();
    parseScene(path);
    freeColorList(&myColorList);
    markSharedEdges(myObjectList);

    if (const char* missing = missingBlock()) {
        std::printf("%s", missing);
        warnOfUnclosedComment(false);
        return -1;
    }
    if (blocks.l == 0) std::printf(" Warning: scene doesn't contain any light.");
    printSummary();
    warnOfUnclosedComment(true);
    return 0;
}

int parseScene(const char* path) {
    std::string name = path;
    const FilePtr file = openScene(name);
    if (!file) {
        std::printf("\n Scene file: %s could no be opened\n", name.c_str());
        endProgram(kErrorStatus);
    }
    const SceneFrame frame(file.get(), name);
    const SceneInput input(file.get(), name);
    std::printf("\n Parsing %s", name.c_str());
    while (Lire_MotCle(file.get()) != TOKEN_EOF) readStatement(file.get());
    return 0;
}

std::string besideScene(const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code error;
    if (fs::exists(name, error) || fs::path(name).is_absolute() || openScenes.empty()) return name;
    const fs::path beside = openScenes.back().directory / name;
    return fs::exists(beside, error) ? beside.string() : name;
}

void expectOpeningBrace(std::FILE* file) {
    if (Lire_MotCle(file) != TOKEN_OPEN_BRACE) yyerror(" Opening bracket '{' expected");
}

int readChoice(std::FILE* file, std::initializer_list<Choice> choices, const char* message) {
    Lire_Chaine(file);
    std::string accepted;
    for (const Choice& choice : choices) {
        if (strTemp == choice.word) return choice.value;
        accepted.append(accepted.empty() ? "accepted: \"" : ", \"").append(choice.word) += '"';
    }
    yyerror(message, accepted);
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
