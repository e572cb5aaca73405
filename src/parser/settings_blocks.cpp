#include <algorithm>
#include <cstring>
#include <numbers>
#include <string>

#include "model/globals.h"
#include "model/surface.h"
#include "parser/blocks.h"
#include "parser/lexer.h"

namespace {

Surface surface = kDefaultSurface;

}  // namespace

const Surface& currentSurface() {
    return surface;
}

void resetCurrentSurface() {
    surface = kDefaultSurface;
}

void resetRenderSettings() {
    myBackGroundColor = {0, 0, 0};
    myDisplay.width = 320;
    myDisplay.height = 240;
    jitter = 0;
    iAntialias = ANTIALIAS_NONE;
    adapt_dist = 64;
    myHaze = {0, {0, 0, 0}};
}

bool readRenderSetting(std::FILE* file, int keyword) {
    switch (keyword) {
        case KW_BACKGROUND:
            Lire_RVB(file);
            myBackGroundColor = rvb_tmp;
            return true;
        case KW_DISPLAY:
            Lire_Entier(file);
            myDisplay.width = val_INT;
            Lire_Entier(file);
            myDisplay.height = val_INT;
            return true;
        case KW_OUTPUT_TYPE:
            iImageType = readChoice(file,
                                    {{"tga", IMAGE_TGA},
                                     {"bmp", IMAGE_BMP},
                                     {"ppm", IMAGE_PPM},
                                     {"png", IMAGE_PNG},
                                     {"jpeg", IMAGE_JPEG},
                                     {"tiff", IMAGE_TIFF}},
                                    " invalid output file type specified");
            return true;
        case KW_OUTPUT_NAME:
            Lire_Chaine(file);
            std::strcpy(myDisplay.outputName, strTemp.c_str());  // a name is at most 255
            return true;
        case KW_JITTER:
            jitter =
                readChoice(file, {{"yes", 1}, {"no", 0}}, " jitter must be either 'yes' or 'no'");
            return true;
        case KW_ANTIALIASING:
            iAntialias = readChoice(file,
                                    {{"none", ANTIALIAS_NONE},
                                     {"quick", ANTIALIAS_QUICK},
                                     {"adaptive", ANTIALIAS_ADAPTIVE}},
                                    " invalid anti-aliasing type specified");
            return true;
        case KW_AA_DISTANCE:
            Lire_Entier(file);
            adapt_dist = val_INT;
            return true;
        case KW_HAZE_COLOR:
            Lire_RVB(file);
            myHaze.color = rvb_tmp;
            return true;
        case KW_HAZE_FACTOR:
            Lire_Decimal(file);
            myHaze.factor = val_DBL;
            return true;
        case KW_JPEG_QUALITY:
            Lire_Entier(file);
            jpeg_quality = val_INT <= 0 ? 90 : std::min(val_INT, 100);
            return true;
        default:
            return false;
    }
    return true;
}

bool readFocusKey(std::FILE* file, int keyword, FocusKeys& focus) {
    switch (keyword) {
        case KW_APERTURE:
            Lire_Decimal(file);
            myViewPoint.aperture = val_DBL;
            return true;
        case KW_FOCAL_LENGTH:
            Lire_Decimal(file);
            myViewPoint.focalLength = val_DBL;
            ++focus.focalLengths;
            return true;
        case KW_FOCAL_POINT:
            Lire_Vecteur(file);
            focus.focalPoint = vect_tmp;
            ++focus.focalPoints;
            return true;
        case KW_CAMERA_SAMPLES:
            Lire_Entier(file);
            if (val_INT < 1) yyerror(" camera samples must be greater than 0");
            if (val_INT > kMostCameraSamples) {
                yyerror(" camera samples must be at most " + std::to_string(kMostCameraSamples));
            }
            myViewPoint.cameraSamples = val_INT;
            return true;
        default:
            return false;
    }
}

void finishFocus(const FocusKeys& focus) {
    if (focus.focalLengths > 0 && focus.focalPoints > 0) {
        yyerror(" focal lenght OR focal point must be defined");
    }
    if (focus.focalPoints > 0) {
        myViewPoint.focalLength = length(focus.focalPoint - myViewPoint.position);
    }
}

void yy_settings(std::FILE* file) {
    expectOpeningBrace(file);
    // Output type, output name and JPEG quality carry over from an earlier settings block.
    resetRenderSettings();

    int outputTypes = 0;
    int outputNames = 0;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        const int keyword = mot_cle;
        if (!readRenderSetting(file, keyword)) yyerror(" Unkown parameter in settings structure");
        if (keyword == KW_OUTPUT_TYPE) ++outputTypes;
        if (keyword == KW_OUTPUT_NAME) ++outputNames;
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
    FocusKeys focus;

    expectOpeningBrace(file);
    int positions = 0, lookAts = 0;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        // "samples" means camera samples here, and light samples in a light block.
        const int keyword = mot_cle == KW_SAMPLES ? KW_CAMERA_SAMPLES : mot_cle;
        if (readFocusKey(file, keyword, focus)) continue;
        switch (keyword) {
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
            case KW_PROJECTION_TYPE:
                myViewPoint.projectionType =
                    readChoice(file, {{"flat", PROJECTION_FLAT}, {"fisheye", PROJECTION_FISHEYE}},
                               " invalid camera projection type specified");
                break;
            default:
                yyerror(" Unkown parameter in camera structure");
        }
    }
    if (positions != 1 || lookAts != 1) yyerror(" error in camera structure declaration");
    finishFocus(focus);
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
                if (val_INT > kMostReflectionSamples) {
                    yyerror(" reflection samples must be at most " +
                            std::to_string(kMostReflectionSamples));
                }
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
