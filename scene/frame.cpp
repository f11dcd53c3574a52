#include "scene/frame.h"

#include "scene/gl.h"

namespace kelvara {

namespace {

// Shard steps per second of frame time. Damping is per frame, not per step.
constexpr float kShardStepsPerSecond = 25.0f;

void placeCamera(const Camera& camera) {
    glTranslatef(camera.position.x, camera.position.y, camera.position.z);
    glRotatef(camera.rotX, 1.0f, 0.0f, 0.0f);
    glRotatef(camera.rotY, 0.0f, 1.0f, 0.0f);
    glRotatef(camera.rotZ, 0.0f, 0.0f, 1.0f);
    glScalef(camera.zoom, camera.zoom, camera.zoom);
    // Turn and scale about the picture's centre, not its corner.
    glTranslatef(-512.0f, -384.0f, 0.0f);
}

void explodeFrame(Scene& scene, const Settings& settings, float dt) {
    ShardList& shards = scene.shards;
    // By index: nothing is added or removed before explodeStep.
    for (std::size_t k = 0; k < shards.size(); ++k)
        shards[k].draw();
    const float step = dt * kShardStepsPerSecond;
    for (std::size_t k = 0; k < shards.size(); ++k)
        shards[k].update(step, kRestThreshold);
    explodeStep(shards, settings, scene.rng);
}

void waveFrame(Scene& scene, const Settings& settings) {
    // Draw first, then displace: each frame shows the previous frame's heights.
    scene.grid.draw(settings);
    const float seconds = scene.timer.elapsedSeconds();
    applyWave(scene.grid, settings, seconds, scene.waveCentre);
}

} // namespace

void renderFrame(Scene& scene, const Settings& settings, const PresentFrame& swap) {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawFrame(scene, settings);
    glFlush();
    if (swap)
        swap();
}

void drawFrame(Scene& scene, const Settings& settings) {
    glLoadIdentity();
    const float dt = scene.timer.frameSeconds();
    placeCamera(scene.camera);

    if (settings.Mode == kExplode)
        explodeFrame(scene, settings, dt);
    else
        waveFrame(scene, settings);

    if (settings.enableMovement != 0)
        updateCamera(scene.camera, dt);
}

} // namespace kelvara
