#include "app/warnings.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "model/format.h"
#include "model/globals.h"
#include "model/surface.h"
#include "render/light.h"

namespace {

// A picture is called stretched when its width/height and the camera's ratio differ by more
// than this fraction: integer image sizes rarely meet a ratio exactly, and a stretch of a
// hundredth goes unseen.
constexpr double kRatioTolerance = 0.01;

// The smallest light that changes a colour byte.
constexpr double kOneGreyLevel = 1.0 / 255;

bool isBlack(const Color& c) {
    return c.r <= 0 && c.g <= 0 && c.b <= 0;
}

// Why an object of this surface can only render black, or null when it can show something.
// The surface's colour scales its ambient and diffuse light and filters what it refracts;
// highlights and reflections take the colour of the light and of what is reflected.
const char* whyBlack(const Surface& s) {
    if (s.specular > 0 || s.reflection > 0) return nullptr;
    if (std::memcmp(&s, &kDefaultSurface, sizeof(Surface)) == 0) {
        return "they come before any surface block, or their surface block sets nothing";
    }
    if (isBlack(s.color)) {
        return "their surface's color is 0 0 0 and it has no specular or reflection";
    }
    if (s.ambient > 0 || s.diffuse > 0) return nullptr;
    if (s.refraction > 0) {
        if (s.refractionIndex > 1) return nullptr;
        return "their surface refracts, which lets light through only with a refraction_index "
               "above 1";
    }
    return "their surface's ambient, diffuse, specular, reflection and refraction are all 0";
}

// One line per kind of black surface, with how many objects have it.
void addBlackObjects(std::vector<std::string>& warnings) {
    std::vector<std::pair<const char*, int>> black;  // reason, objects
    const Surface* previous = nullptr;
    const char* reason = nullptr;
    for (const ObjectRecord* object = myObjectList; object != nullptr; object = object->next) {
        // Objects of one surface share it and follow each other in the list.
        if (object->surface != previous) {
            previous = object->surface;
            reason = whyBlack(*previous);
        }
        if (reason == nullptr) continue;
        const auto same = [&](const auto& entry) { return entry.first == reason; };
        const auto found = std::find_if(black.begin(), black.end(), same);
        if (found == black.end()) {
            black.emplace_back(reason, 1);
        } else {
            ++found->second;
        }
    }
    for (const auto& [why, count] : black) {
        warnings.push_back(format(" Warning: %d object%s will render black: %s", count,
                                  count == 1 ? "" : "s", why));
    }
}

void addStretchedPicture(std::vector<std::string>& warnings) {
    const double imageRatio = static_cast<double>(myDisplay.width) / myDisplay.height;
    const double ratio = myViewPoint.ratio;
    if (std::fabs(imageRatio / ratio - 1) <= kRatioTolerance) return;
    std::string warning = format(
        " Warning: the image is %d x %d, a width/height of %.4g, but the camera's ratio is %.4g:"
        " the picture will be stretched",
        myDisplay.width, myDisplay.height, imageRatio, ratio);
    warning +=
        use3ds ? " (a 3DS model's camera has the ratio 4/3)"
               : format(" (give the camera the ratio %.4g, or the image another size)", imageRatio);
    warnings.push_back(warning);
}

// How far `point` lies from the object's slab box: 0 inside it.
double distanceToBox(Vector3 point, const ObjectRecord& object) {
    const SlabBox box = object.boundsFn(object);
    const double p[3] = {point.x, point.y, point.z};
    double squared = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const double outside =
            std::max({box.slabMin[axis] - p[axis], p[axis] - box.slabMax[axis], 0.0});
        squared += outside * outside;
    }
    return std::sqrt(squared);
}

// Whether the attenuated light adds at least one grey level to some object. Only a light
// brighter than 1 by the shading's measure fades with distance; the others never do.
bool reachesSomeObject(const ObjectRecord& light) {
    const LightData& data = dataOf<LightData>(light);
    const Color& c = data.color;
    if (data.attenuationType == ATTENUATION_NONE || c.r + c.g + c.b / 3 <= 1) return true;
    const double brightest = std::max({c.r, c.g, c.b});
    for (const ObjectRecord* object = myObjectList; object != nullptr; object = object->next) {
        const double distance = distanceToBox(data.position, *object);
        if (brightest * attenuationFactor(light, distance) >= kOneGreyLevel) return true;
    }
    return myObjectList == nullptr;
}

double nearestObject(Vector3 point) {
    double nearest = std::numeric_limits<double>::infinity();
    for (const ObjectRecord* object = myObjectList; object != nullptr; object = object->next) {
        nearest = std::min(nearest, distanceToBox(point, *object));
    }
    return nearest;
}

void addFarLights(std::vector<std::string>& warnings) {
    for (const ObjectRecord* light = myLightList; light != nullptr; light = light->next) {
        if (reachesSomeObject(*light)) continue;
        const LightData& data = dataOf<LightData>(*light);
        const Vector3 p = data.position;
        warnings.push_back(format(
            " Warning: the light at <%g %g %g> is too far to be seen: its \"%s\" attenuation"
            " leaves it under one grey level at the nearest object, %g away (attenuation_type"
            " \"none\" keeps its full strength)",
            p.x, p.y, p.z, data.attenuationType == ATTENUATION_D ? "d" : "d2", nearestObject(p)));
    }
}

}  // namespace

std::vector<std::string> sceneWarnings() {
    std::vector<std::string> warnings;
    addBlackObjects(warnings);
    addStretchedPicture(warnings);
    addFarLights(warnings);
    return warnings;
}

void printSceneWarnings() {
    // Each begins a line of its own: what comes before may or may not end with a newline.
    for (const std::string& warning : sceneWarnings()) std::printf("\n%s", warning.c_str());
}
