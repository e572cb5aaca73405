#include "parser/settings3ds.h"

#include <cstring>

#include "model/globals.h"
#include "parser/blocks.h"
#include "parser/lexer.h"

void yy_3DSSettings(std::FILE* file, std::string& modelName, int& attenuationType, int& shadowType,
                    int& lightSamples, double& lightRadius, int& cameraIndex) {
    expectOpeningBrace(file);
    resetRenderSettings();
    // Unlike a scene's settings block, the output type is optional here and starts as TGA.
    iImageType = IMAGE_TGA;

    int radii = 0, sampleCounts = 0;
    FocusKeys focus;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        const int keyword = mot_cle;
        if (readRenderSetting(file, keyword) || readFocusKey(file, keyword, focus)) continue;
        switch (keyword) {
            case KW_INPUT_NAME:
                Lire_Chaine(file);
                if (strTemp.find(".3ds") == std::string::npos) yyerror(" '.3ds' file expected.");
                modelName = strTemp;
                break;
            case KW_ATTENUATION_TYPE:
                attenuationType = readChoice(
                    file,
                    {{"none", ATTENUATION_NONE}, {"d", ATTENUATION_D}, {"d2", ATTENUATION_D2}},
                    " invalid light attenuation type specified");
                break;
            case KW_SHADOW_TYPE:
                shadowType = readChoice(file, {{"sharp", SHADOW_SHARP}, {"smooth", SHADOW_SMOOTH}},
                                        " invalid shadow type specified");
                break;
            case KW_LIGHT_SAMPLES:
                Lire_Entier(file);
                if (val_INT <= 0) yyerror(" smooth light samples must be greater than 0");
                lightSamples = val_INT;
                ++sampleCounts;
                break;
            case KW_RADIUS:
                Lire_Decimal(file);
                if (val_DBL <= 0) yyerror(" smooth light radius must be greater than 0");
                lightRadius = val_DBL;
                ++radii;
                break;
            case KW_CAMERA_INDEX:
                Lire_Entier(file);
                cameraIndex = val_INT;  // the caller clamps it to the model's cameras
                break;
            default:
                yyerror(" Unkown parameter in 3ds settings structure");
        }
    }
    if (shadowType == SHADOW_SMOOTH && (radii != 1 || sampleCounts != 1)) {
        yyerror(" Error in lights specifications - missing parameters");
    }
    finishFocus(focus);
}
