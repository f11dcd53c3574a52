#include "render/scene_state.h"

#include "scene/gl.h"

namespace kelvara {

namespace {

// Projection: fixed, whatever the window's shape, so a preview and a full
// screen frame the scene alike.
constexpr double kFieldOfViewDegrees = 120.0;
constexpr double kAspect = 1.33;
constexpr double kNearPlane = 10.0;
constexpr double kFarPlane = 10000.0;

void setUpGeometry(Scene& scene, const Settings& settings) {
    if (settings.Mode == kExplode) {
        // The first explode step cuts the picture when it finds the list empty.
        scene.shards.clear();
        return;
    }
    scene.grid.rebuild(settings);
    // Smooth grid normals are averages, not unit length.
    glEnable(GL_NORMALIZE);
}

void setUpLight() {
    // Positional, given under an identity model-view: it sits at eye (0, 0, 1).
    const GLfloat position[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    const GLfloat ambient[4] = {0.1f, 0.1f, 0.1f, 1.0f};
    const GLfloat diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, position);
    glLightfv(GL_LIGHT0, GL_AMBIENT, ambient);
    glLightfv(GL_LIGHT0, GL_DIFFUSE, diffuse);
    glLightfv(GL_LIGHT0, GL_SPECULAR, specular);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
}

void setUpProjection() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfViewDegrees, kAspect, kNearPlane, kFarPlane);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void setUpRaster() {
    glShadeModel(GL_SMOOTH);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
}

void setUpMaterial() {
    const GLfloat ambient[4] = {0.1f, 0.1f, 0.1f, 1.0f};
    // Overridden at once by the colour material below (white); kept so the
    // material is complete should colour tracking ever be turned off.
    const GLfloat diffuse[4] = {0.0f, 0.0f, 1.0f, 1.0f};
    const GLfloat specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    const GLfloat emission[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT, ambient);
    glMaterialfv(GL_FRONT_AND_BACK, GL_DIFFUSE, diffuse);
    glMaterialfv(GL_FRONT_AND_BACK, GL_SPECULAR, specular);
    glMaterialf(GL_FRONT_AND_BACK, GL_SHININESS, 50.0f);
    glMaterialfv(GL_FRONT_AND_BACK, GL_EMISSION, emission);
    // Ambient and diffuse follow the current colour: the texture shows under
    // white light with white highlights. Not every implementation copies the
    // current colour into the material when tracking starts (Mesa 22 holds the
    // glMaterial values back until the next primitive and then lets the blue
    // diffuse above win), so both start as that colour, white, already.
    const GLfloat tracked[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glMaterialfv(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, tracked);
    glColorMaterial(GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE);
    glEnable(GL_COLOR_MATERIAL);
}

} // namespace

void initSceneState(Scene& scene, const Settings& settings, const LogoTextureSetUp& setUpLogo) {
    setUpGeometry(scene, settings);
    setUpLight();
    resetCamera(scene.camera, settings);
    setUpProjection();
    setUpRaster();
    setUpMaterial();
    if (settings.useOGL != 0 && setUpLogo)
        setUpLogo();
}

} // namespace kelvara
