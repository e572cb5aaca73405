#include "parser/settings3ds.h"

#include <cctype>
#include <cstring>
#include <string>

#include "model/globals.h"
#include "parser/blocks.h"
#include "parser/lexer.h"

namespace {

// Names with ".3ds" go to the 3DS reader, other names to the importer of every other format,
// but a 3DS extension in other capitals is refused as it always was.
bool misspeltThreeDs(const std::string& name) {
    if (name.find(".3ds") != std::string::npos || name.size() < 4) return false;
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension == ".3ds";
}

// "frame" and "headlight" are read as plain words, not keywords: a keyword would change what
// a scene file's error messages print for the same words.
bool readModelSwitch(std::FILE* file, ModelOptions& options) {
    if (chaine == "frame") {
        options.frame = readChoice(file, {{"yes", 1}, {"no", 0}},
                                   " frame must be either 'yes' or 'no'") == 1;
        return true;
    }
    if (chaine == "headlight") {
        options.headlight = readChoice(file, {{"yes", 1}, {"no", 0}},
                                       " headlight must be either 'yes' or 'no'") == 1;
        return true;
    }
    return false;
}

}  // namespace

void yy_3DSSettings(std::FILE* file, std::string& modelName, int& attenuationType, int& shadowType,
                    int& lightSamples, double& lightRadius, int& cameraIndex,
                    ModelOptions& options) {
    expectOpeningBrace(file);
    resetRenderSettings();
    // Unlike a scene's settings block, the output type is optional here and starts as TGA.
    iImageType = IMAGE_TGA;

    // The caller's light parameters are its presets until the file names them.
    ShadowKeys shadow{.attenuationType = attenuationType,
                      .shadowType = shadowType,
                      .radius = lightRadius,
                      .samples = lightSamples};
    FocusKeys focus;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        const int keyword = mot_cle;
        if (readRenderSetting(file, keyword) || readFocusKey(file, keyword, focus) ||
            readShadowKey(file, keyword, shadow)) {
            continue;
        }
        switch (keyword) {
            case KW_INPUT_NAME:
                Lire_Chaine(file);
                if (misspeltThreeDs(strTemp)) yyerror(" '.3ds' file expected.");
                modelName = strTemp;
                break;
            case KW_UP:
                options.yUp =
                    readChoice(file, {{"z", 0}, {"y", 1}}, " invalid up axis specified") == 1;
                break;
            case KW_CAMERA_INDEX:
                Lire_Entier(file);
                cameraIndex = val_INT;  // the caller clamps it to the model's cameras
                break;
            case TOKEN_WORD:
                if (readModelSwitch(file, options)) break;
                [[fallthrough]];
            default:
                yyerror(" Unkown parameter in 3ds settings structure");
        }
    }
    if (!shadow.complete()) yyerror(" Error in lights specifications - missing parameters");
    finishFocus(focus);
    attenuationType = shadow.attenuationType;
    shadowType = shadow.shadowType;
    lightRadius = shadow.radius;
    lightSamples = shadow.samples;
}
