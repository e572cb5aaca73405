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
                if (strTemp.find(".3ds") == std::string::npos) yyerror(" '.3ds' file expected.");
                modelName = strTemp;
                break;
            case KW_CAMERA_INDEX:
                Lire_Entier(file);
                cameraIndex = val_INT;  // the caller clamps it to the model's cameras
                break;
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
