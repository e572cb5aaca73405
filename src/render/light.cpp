#include "render/light.h"

#include <cstdio>

#include "model/data.h"
#include "model/globals.h"

void makeLight(Vector3 position, Color color, int lightType, int attenuationType, int shadowType,
               double lightRadius, int lightSamples, double cosMinAngle, double cosMaxAngle,
               Vector3 direction) {
    ObjectRecord* light = allocateRecord();
    if (light == nullptr) {
        std::printf(" Memory allocation for light failed. Light not added to scene.");
        return;
    }
    light->kind = KIND_LIGHT;
    light->color = color;

    LightData& data = light->data.light;
    data.position = position;
    data.lightType = lightType;
    data.attenuationType = attenuationType;
    data.shadowType = shadowType;
    data.lightRadius = lightRadius;
    data.lightSamples = lightSamples;
    data.cosMinAngle = cosMinAngle;
    data.cosMaxAngle = cosMaxAngle;
    // Lights made without an aim (3DS lights) get a zero axis; only spot lights read it,
    // and normalising it would fill it with NaN.
    data.direction = direction;
    if (dot(direction, direction) > 0) VecNorm(data.direction);

    addToList(&myLightList, light);
}
