#include "scene/camera.h"

namespace kelvara {

namespace {

// Oscillator phase units per second of frame time.
constexpr float kPhasePerSecond = 30.0f;

} // namespace

void resetCamera(Camera& camera, const Settings& settings) {
    camera.swingX.configure(-settings.rotX0, settings.rotX0, settings.rotX1);
    camera.swingY.configure(-settings.rotY0, settings.rotY0, settings.rotY1);
    camera.swingZ.configure(-settings.rotZ0, settings.rotZ0, settings.rotZ1);
    // zoom0 is in tenths: 25 swings the zoom between 1 / 2.5 and 2.5.
    camera.swingZoom.configureZoom(settings.zoom0 * 0.1f, settings.zoom1);
    camera.zoom = 1.0f;
    camera.rotX = 0.0f;
    camera.rotY = 0.0f;
    camera.rotZ = 0.0f;
    camera.position = Vec3(0.0f, 0.0f, -300.0f);
}

void updateCamera(Camera& camera, float dt) {
    const float delta = dt * kPhasePerSecond;
    camera.rotX = camera.swingX.advance(delta);
    camera.rotY = camera.swingY.advance(delta);
    camera.rotZ = camera.swingZ.advance(delta);
    camera.zoom = camera.swingZoom.advance(delta);
}

} // namespace kelvara
