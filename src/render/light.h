#pragma once

#include "model/records.h"

// Adds a point or spot light to the front of myLightList; `direction` (from the light towards
// its target) need not be of unit length. On exhausted memory the scene goes on without it.
void makeLight(Vector3 position, Color color, int lightType, int attenuationType, int shadowType,
               double lightRadius, int lightSamples, double cosMinAngle, double cosMaxAngle,
               Vector3 direction);
