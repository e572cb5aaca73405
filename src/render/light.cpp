#include "render/light.h"

#include <cmath>
#include <cstdio>

#include "accel/intersec.h"
#include "model/data.h"
#include "model/globals.h"
void makeLight(Vector3 position, Color color, int lightType, int attenuationType, int shadowType,
               double lightRadius, int lightSamples, double cosMinAngle, double cosMaxAngle,
               Vector3 direction) {
    Shape<LightData>* light = allocateShape<LightData>();
    if (light == nullptr) {
        std::printf(" Memory allocation for light failed. Light not added to scene.");
        return;
    }
    light->kind = KIND_LIGHT;

    LightData& data = light->data;
    data.position = position;
    data.color = color;
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

    addToList(&myLightList, static_cast<ObjectRecord*>(light));
}

double makeLightRay(const ObjectRecord& light, Vector3 point, Ray& out) {
    out.origin = point;
    out.direction = dataOf<LightData>(light).position - point;
    const double distance = length(out.direction);
    // Normalising a zero vector would turn the direction into NaN, and a light at no
    // measurable distance (a position that is infinite, not a number, or too far for its
    // distance to fit a double) has no direction either. Shading skips such a light: shadow
    // rays with such a direction could not be bounded and would test every object.
    if (distance == 0 || !std::isfinite(distance)) {
        out.direction = {0, 0, 0};
        return 0;
    }
    // What VecNorm does, without measuring the length a second time.
    out.direction.x /= distance;
    out.direction.y /= distance;
    out.direction.z /= distance;
    return distance;
}

Color getLightColor(const ObjectRecord& light, const ObjectRecord& object, const Ray& shadowRay,
                    double dist, TraceContext& context) {
    ++context.rays.shadow;
    BlockerHint& hint = context.blockerHintOf(light);
    if (occluded(shadowRay, dist, &object, context.traversal, hint)) return {0, 0, 0};
    return dataOf<LightData>(light).color;
}

// Every sample keeps the origin and the bound `dist` of the central ray; only its direction is
// pushed, by lightRadius / dist, so the samples aim at points scattered about the light's
// radius around its centre, and a farther light jitters less.
Color smoothShadow(const ObjectRecord& light, const ObjectRecord& object, const Ray& shadowRay,
                   double dist, TraceContext& context) {
    const LightData& data = dataOf<LightData>(light);
    // The scene readers insist on at least one sample; without one there is nothing to average.
    if (data.lightSamples <= 0) return getLightColor(light, object, shadowRay, dist, context);

    const double spread = data.lightRadius / dist;
    BlockerHint& hint = context.blockerHintOf(light);
    Color sum{0, 0, 0};
    for (int i = 0; i < data.lightSamples; ++i) {
        Ray sample = shadowRay;
        sample.direction = shadowRay.direction + spread * randomDirection(context.random);
        VecNorm(sample.direction);
        ++context.rays.shadow;
        if (occluded(sample, dist, &object, context.traversal, hint)) continue;
        sum = sum + data.color;
    }
    return sum / data.lightSamples;
}

void skipSmoothShadow(const ObjectRecord& light, TraceContext& context) {
    const int samples = dataOf<LightData>(light).lightSamples;
    if (samples > 0) context.random.skip(kDrawsPerDirection * static_cast<std::uint64_t>(samples));
}

std::optional<double> spotFactor(const ObjectRecord& light, Vector3 toLight) {
    const LightData& data = dataOf<LightData>(light);
    const double cosA = -dot(toLight, data.direction);
    if (cosA < data.cosMaxAngle) return std::nullopt;
    if (cosA >= data.cosMinAngle) return 1.0;
    // Only reached when cosMinAngle > cosA >= cosMaxAngle, so the divisor is positive.
    return (cosA - data.cosMaxAngle) / (data.cosMinAngle - data.cosMaxAngle);
}

double attenuationFactor(const ObjectRecord& light, double dist) {
    switch (dataOf<LightData>(light).attenuationType) {
        case ATTENUATION_D:
            return 1 / dist;
        case ATTENUATION_D2:
            return 1 / (dist * dist);
        default:
            return 1;
    }
}

Vector3 randomDirection(SampleRandom& random) {
    // Drawn one after another so that the components take the numbers in the order x, y, z.
    Vector3 direction;
    direction.x = 0.5 - random.unit();
    direction.y = 0.5 - random.unit();
    direction.z = 0.5 - random.unit();
    VecNorm(direction);
    return direction;
}
