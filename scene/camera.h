#pragma once

#include "scene/oscillator.h"
#include "scene/vec3.h"
#include "settings/settings.h"

namespace kelvara {

// The fixed viewpoint, three swinging rotation angles (degrees) and a swinging
// uniform zoom, each driven by an Oscillator from the movement settings.
struct Camera {
    Vec3 position{0.0f, 0.0f, -300.0f};
    float rotX = 0.0f;
    float rotY = 0.0f;
    float rotZ = 0.0f;
    float zoom = 1.0f;
    Oscillator swingX;
    Oscillator swingY;
    Oscillator swingZ;
    Oscillator swingZoom;
};

// Configures the four swings from rotX0..zoom1 and puts the camera at rest.
void resetCamera(Camera& camera, const Settings& settings);

// Advances the swings by dt seconds (30 phase units per second).
void updateCamera(Camera& camera, float dt);

} // namespace kelvara
