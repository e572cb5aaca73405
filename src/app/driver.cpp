#include "app/driver.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "accel/bound.h"
#include "app/scene3ds.h"
#include "import3ds/model3ds.h"
#include "model/data.h"
#include "model/fatal.h"
#include "model/globals.h"
#include "model/surface.h"
#include "parser/lexer.h"
#include "parser/parser.h"
#include "primitives/patch.h"

namespace {

[[noreturn]] void usageAndEnd() {
    showUsage();
    endProgram(kErrorStatus);
}

// Says which argument is wrong and how, then shows the usage text and ends the run.
[[noreturn]] void commandLineError(const std::string& what) {
    std::printf("\n Command line error: %s\n", what.c_str());
    usageAndEnd();
}

// The argument in quotes, as the messages name it. (Built by appending: GCC 12 warns
// wrongly about the operator+ chains that would say the same.)
std::string quoted(std::string_view argument) {
    std::string text = "'";
    text.append(argument);
    text += '\'';
    return text;
}

bool startsLikeANumber(const char* text) {
    if (*text == '+' || *text == '-') ++text;
    return *text >= '0' && *text <= '9';
}

// Leading digits like atoi, but without its undefined behaviour on overflow.
int readInteger(const char* text) {
    const long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

// Copies a command-line name into a fixed buffer, refusing one that does not fit.
void copyName(char* destination, std::size_t size, const char* name, const char* what) {
    if (std::strlen(name) >= size) {
        std::printf("\n %s name longer than %zu characters: %s\n", what, size - 1, name);
        endProgram(kErrorStatus);
    }
    std::strcpy(destination, name);
}

bool inputGiven = false;

// A settings file that names a model (3DS or any other format) rather than a scene file.
void readModelSettings(char** values) {
    copyName(inputFileName, kInputFileNameSize, values[0], "Input");
    use3ds = 1;
    inputGiven = true;
}

struct Option {
    std::string_view shortName;
    std::string_view longName;
    int valueCount;
    const char* values;  // what the values are, for the message when they are missing
    bool multiThreadedOnly;
    void (*apply)(char* values[]);
    // The usage text has always printed two long options misspelt; users who copy them
    // from it get what they asked for.
    std::string_view usageSpelling = {};
};

constexpr Option kOptions[] = {
    {"-?", "--help", 0, "", false, [](char**) { usageAndEnd(); }},
    {"-o", "--output", 1, "a file name", false,
     [](char** v) { copyName(myDisplay.outputName, kOutputNameSize, v[0], "Output"); }, "--ouput"},
    {"-i", "--input", 1, "a file name", false,
     [](char** v) {
         copyName(inputFileName, kInputFileNameSize, v[0], "Input");
         inputGiven = true;
     }},
    {"-c", "--camera", 1, "an integer", false,
     [](char** v) {
         iCameraIndex = readInteger(v[0]);
         iCameraGiven = 1;
     }},
    {"-3ds", "--3ds", 1, "a file name", false, readModelSettings},
    {"-model", "--model", 1, "a file name", false, readModelSettings},
    {"-aaa", "--aaadaptive", 1, "an integer", false,
     [](char** v) {
         iAntialias = ANTIALIAS_ADAPTIVE;
         adapt_dist = readInteger(v[0]);
         if (adapt_dist != 0) return;
         commandLineError(startsLikeANumber(v[0]) ? "'-aaa' needs a threshold other than 0"
                                                  : "'-aaa' needs a number, not " + quoted(v[0]));
     },
     "--aaadatpive"},
    {"-t", "--thread", 1, "2, 4 or 8", true,
     [](char** v) {
         numThreads = readInteger(v[0]);
         if (numThreads != 2 && numThreads != 4 && numThreads != 8) {
             std::puts(" Invalid number of threads: defaulting to 2 threads");
             numThreads = 2;
         }
     }},
    {"-pqs", "--pqsize", 1, "an integer", false,
     [](char** v) {
         iPQSize = readInteger(v[0]);
         if (iPQSize <= 100) {
             std::printf("\n Defaulting priority queue size to 100");
             iPQSize = 100;
         }
         // The queue grows as a render needs it: a larger start only takes memory.
         constexpr int kMostQueueSize = 1 << 20;
         if (iPQSize > kMostQueueSize) {
             std::printf("\n Limiting priority queue size to %d", kMostQueueSize);
             iPQSize = kMostQueueSize;
         }
     }},
    {"-aaq", "--aaquick", 0, "", false, [](char**) { iAntialias = ANTIALIAS_QUICK; }},
    {"-aan", "--aanone", 0, "", false, [](char**) { iAntialias = ANTIALIAS_NONE; }},
    {"-j", "--jitter", 0, "", false, [](char**) { jitter = 1; }},
    {"-r", "--resolution", 2, "a width and a height", false,
     [](char** v) {
         myDisplay.width = readInteger(v[0]);
         myDisplay.height = readInteger(v[1]);
     }},
    {"-w", "--width", 1, "an integer", false,
     [](char** v) { myDisplay.width = readInteger(v[0]); }},
    {"-h", "--height", 1, "an integer", false,
     [](char** v) { myDisplay.height = readInteger(v[0]); }},
    {"-tga", "--tga", 0, "", false, [](char**) { iImageType = IMAGE_TGA; }},
    {"-bmp", "--bmp", 0, "", false, [](char**) { iImageType = IMAGE_BMP; }},
    {"-ppm", "--ppm", 0, "", false, [](char**) { iImageType = IMAGE_PPM; }},
    {"-png", "--png", 0, "", false, [](char**) { iImageType = IMAGE_PNG; }},
    {"-jpg", "--jpeg", 0, "", false, [](char**) { iImageType = IMAGE_JPEG; }},
    {"-tif", "--tiff", 0, "", false, [](char**) { iImageType = IMAGE_TIFF; }},
    {"--stats", "--stats", 0, "", false, [](char**) { iStatistics = 1; }},
    // The banner, printed before the command line is read, holds the version.
    {"--version", "--version", 0, "", false, [](char**) { endProgram(0); }},
};

const Option* findOption(std::string_view argument) {
    for (const Option& option : kOptions) {
        if (option.multiThreadedOnly && !multiThreaded) continue;
        if (argument == option.shortName || argument == option.longName ||
            argument == option.usageSpelling) {
            return &option;
        }
    }
    return nullptr;
}

}  // namespace

void initDefaults() {
    Slab[0] = {1, 0, 0};
    Slab[1] = {0, 1, 0};
    Slab[2] = {0, 0, 1};
    iAntialias = ANTIALIAS_NONE;
    adapt_dist = 20;
    iImageType = IMAGE_BMP;
    bunching = 4;
    maxQueueSize = 0;
    use3ds = 0;
    iStatistics = 0;
}

void resetScene() {
    freeHierarchy(&myObjectList);
    freeList(&myLightList);
    myRecords.release();
    // The patches and objects released above were the last to point into these.
    releasePatchMeshes();
    releaseSurfaces();
    g_3DModel = Model3DS{};
    freeColorList(&myColorList);
    nPrims = 0;
    myViewPoint = {};
    myDisplay = {};
    myHaze = {};
    myBackGroundColor = {};
    iPQSize = 128;
    numThreads = 2;
    iCameraIndex = 0;
    inputFileName[0] = '\0';
    jitter = 0;
    jpeg_quality = 0;
    multiThreaded = false;
    comptligne = 1;
    sourceName.clear();
    initDefaults();
}

void showCredits() {
    std::puts(multiThreaded ? "\n LUMORA v0.1 beta 14 (linux-intel-glibc2-multithreaded)"
                            : "\n LUMORA v0.1 beta 14 (linux-intel-glibc2)");
}

void showUsage() {
    std::puts("\n Usage: lumora [options] scenefile [...]\n");
    std::puts(" Example: lumora -i scene.lms\n");
    std::puts(" Options:");
    std::puts("  -3ds/--3ds         filename    read filename as 3ds input");
    std::puts("  -model/--model     filename    the same, for a model of any format");
    std::puts("  -c/--camera        integer     specify which camera to use to render (from 0)");
    std::puts("  -i/--input         filename    read filename as input");
    std::puts("  -o/--ouput         filename    write output to 'filename' (no extension)");
    std::puts("  -w/--width         integer     specify with of the output image");
    std::puts("  -h/--height        integer     specify height of the output image");
    std::puts("  -r/--resolution    int int     specify width and height of the output image");
    if (multiThreaded) {
        std::puts("  -t/--thread        int         specify the number thread to use (2, 4 or 8)");
    }
    std::puts("  -j/--jitter                    activate jittering");
    std::puts("  -aaa/--aaadatpive  double      activate adaptive anti-aliasing");
    std::puts("  -aaq/--aaquick                 activate quick anti-aliasing");
    std::puts("  -aan/--aanone                  deactivate anti-aliasing");
    std::puts("  -tga/--tga                     TGA output image");
    std::puts("  -bmp/--bmp                     BMP output image");
    std::puts("  -ppm/--ppm                     PPM output image");
    std::puts("  -tif/--tiff                    TIFF output image");
    std::puts("  -png/--png                     PNG output image");
    std::puts("  -jpg/--jpeg                    JPEG output image");
    std::puts("  -?/--help                      this help message");
    std::puts("  --stats                        print rays traced, phase times and peak memory");
    std::puts("  --version                      print the version and exit\n");
}

namespace {

// What is wrong with an argument that starts with '-' but names no option.
std::string unknownOption(std::string_view argument) {
    std::string what = quoted(argument) + " is not an option";
    if (argument == "-t" || argument == "--thread") what += " (threads are for lumora-mt)";
    return what;
}

std::string missingValue(std::string_view argument, const Option& option) {
    return quoted(argument) + " needs " + option.values + " after it";
}

// The scene must be named with -i or -3ds; a bare name is the likeliest slip.
[[noreturn]] void noInput(const char* bareName) {
    if (bareName == nullptr) commandLineError("no scene named: give one with -i (or -3ds)");
    commandLineError(quoted(bareName) +
                     " is not read: name the scene with -i (or a 3DS settings file with -3ds)");
}

}  // namespace

void parseArgs(int argc, char* argv[]) {
    inputGiven = false;
    iCameraGiven = 0;
    const char* bareName = nullptr;
    for (int i = 1; i < argc; ++i) {
        // The input must be named with -i or -3ds; other arguments are skipped.
        if (argv[i][0] != '-') {
            if (bareName == nullptr) bareName = argv[i];
            continue;
        }
        const Option* option = findOption(argv[i]);
        if (option == nullptr) commandLineError(unknownOption(argv[i]));
        if (i + option->valueCount >= argc) commandLineError(missingValue(argv[i], *option));
        option->apply(&argv[i + 1]);
        i += option->valueCount;
    }
    if (!inputGiven) noInput(bareName);
}

int loadScene() {
    return use3ds ? parse3ds(inputFileName) : parseFile(inputFileName);
}

void checkImageSize() {
    if (myDisplay.width < 1 || myDisplay.height < 1) {
        std::printf("\n Invalid image size %d x %d: width and height must be at least 1\n",
                    myDisplay.width, myDisplay.height);
        endProgram(kErrorStatus);
    }
}
