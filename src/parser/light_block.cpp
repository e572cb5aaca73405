#include <cmath>
#include <numbers>
#include <string>

#include "model/globals.h"
#include "parser/blocks.h"
#include "parser/lexer.h"
#include "render/light.h"

namespace {

// The cosine of half of a full cone angle given in degrees.
double cosineOfHalfAngle(double degrees) {
    return std::cos(degrees * 0.5 * std::numbers::pi / 180);
}

// Direction given to a light without a target. Point lights never read it; a spot light
// needs a target, so it never gets this one.
constexpr Vector3 kUnaimedDirection{0, 0, -1};

}  // namespace

bool readShadowKey(std::FILE* file, int keyword, ShadowKeys& keys) {
    switch (keyword) {
        case KW_ATTENUATION_TYPE:
            keys.attenuationType = readChoice(
                file, {{"none", ATTENUATION_NONE}, {"d", ATTENUATION_D}, {"d2", ATTENUATION_D2}},
                " invalid light attenuation type specified");
            return true;
        case KW_SHADOW_TYPE:
            keys.shadowType = readChoice(file, {{"sharp", SHADOW_SHARP}, {"smooth", SHADOW_SMOOTH}},
                                         " invalid shadow type specified");
            return true;
        case KW_RADIUS:
            Lire_Decimal(file);
            if (val_DBL <= 0) yyerror(" smooth light radius must be greater than 0");
            keys.radius = val_DBL;
            ++keys.radii;
            return true;
        case KW_LIGHT_SAMPLES:
            Lire_Entier(file);
            if (val_INT <= 0) yyerror(" smooth light samples must be greater than 0");
            if (val_INT > kMostLightSamples) {
                yyerror(" smooth light samples must be at most " +
                        std::to_string(kMostLightSamples));
            }
            keys.samples = val_INT;
            ++keys.sampleCounts;
            return true;
        default:
            return false;
    }
}

void yy_light(std::FILE* file) {
    Vector3 position{0, 0, 0};
    Vector3 target{0, 0, 0};
    Color color{1, 1, 1};
    int lightType = LIGHT_POINT;
    ShadowKeys shadow;
    double cosMinAngle = cosineOfHalfAngle(10);
    double cosMaxAngle = cosineOfHalfAngle(30);

    expectOpeningBrace(file);
    int positions = 0, colors = 0, targets = 0;
    while (Lire_MotCle(file) != TOKEN_CLOSE_BRACE) {
        // "samples" means light samples here, and camera samples in a camera block.
        const int keyword = mot_cle == KW_SAMPLES ? KW_LIGHT_SAMPLES : mot_cle;
        if (readShadowKey(file, keyword, shadow)) continue;
        switch (keyword) {
            case KW_LIGHT_TYPE:
                lightType = readChoice(file, {{"point", LIGHT_POINT}, {"spot", LIGHT_SPOT}},
                                       " invalid light type specified");
                break;
            case KW_POSITION:
                Lire_Vecteur(file);
                position = vect_tmp;
                ++positions;
                break;
            case KW_TARGET:
                Lire_Vecteur(file);
                target = vect_tmp;
                ++targets;
                break;
            case KW_COLOR:
                Lire_RVB(file);
                if (rvb_tmp.r <= 0 || rvb_tmp.g <= 0 || rvb_tmp.b <= 0) {
                    yyerror(" invalid color component(s)");
                }
                color = rvb_tmp;
                ++colors;
                break;
            case KW_MIN_ANGLE:
                Lire_Decimal(file);
                cosMinAngle = cosineOfHalfAngle(val_DBL);
                break;
            case KW_MAX_ANGLE:
                Lire_Decimal(file);
                cosMaxAngle = cosineOfHalfAngle(val_DBL);
                break;
            default:
                yyerror(" Unkown parameter in light structure");
        }
    }

    Vector3 direction = kUnaimedDirection;
    if (targets > 0) {
        direction = target - position;
        if (dot(direction, direction) == 0) yyerror(" Error in light structure - invalid target");
    }
    const bool missingParameters = colors != 1 || positions != 1 || !shadow.complete() ||
                                   (lightType == LIGHT_SPOT && targets == 0);
    if (missingParameters) yyerror(" Error in light structure - missing parameters");

    makeLight(position, color, lightType, shadow.attenuationType, shadow.shadowType, shadow.radius,
              shadow.samples, cosMinAngle, cosMaxAngle, direction);
    ++iNumLight;
}
