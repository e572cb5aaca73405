#include "model/surface.h"

void setSurfaceAttrib(ObjectRecord& object, const Surface& surface) {
    object.color = surface.color;
    object.ambient = surface.ambient;
    object.diffuse = surface.diffuse;
    object.brilliance = surface.brilliance;
    object.specular = surface.specular;
    object.roughness = surface.roughness;
    object.reflection = surface.reflection;
    object.reflectionType = surface.reflectionType;
    object.reflectionSamples = surface.reflectionSamples;
    object.reflectionRadius = surface.reflectionRadius;
    object.refraction = surface.refraction;
    object.refractionIndex = surface.refractionIndex;
}
