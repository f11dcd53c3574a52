#include <gtest/gtest.h>

#include <GL/gl.h>

#include <vector>

#include "recording_gl.h"
#include "render/scene_state.h"

using namespace kelvara;
namespace glrec = kelvara::glrec;

namespace {

// Everything after the mode-dependent geometry step, in its required order.
const std::vector<glrec::Call>& fixedState() {
    static const std::vector<glrec::Call> calls = {
        {"glLightfv", {GL_LIGHT0, GL_POSITION, 0, 0, 1, 1}},
        {"glLightfv", {GL_LIGHT0, GL_AMBIENT, 0.1f, 0.1f, 0.1f, 1}},
        {"glLightfv", {GL_LIGHT0, GL_DIFFUSE, 1, 1, 1, 1}},
        {"glLightfv", {GL_LIGHT0, GL_SPECULAR, 1, 1, 1, 1}},
        {"glEnable", {GL_LIGHTING}},
        {"glEnable", {GL_LIGHT0}},
        {"glMatrixMode", {GL_PROJECTION}},
        {"glLoadIdentity", {}},
        {"gluPerspective", {120, 1.33, 10, 10000}},
        {"glMatrixMode", {GL_MODELVIEW}},
        {"glLoadIdentity", {}},
        {"glShadeModel", {GL_SMOOTH}},
        {"glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL}},
        {"glEnable", {GL_CULL_FACE}},
        {"glCullFace", {GL_BACK}},
        {"glEnable", {GL_DEPTH_TEST}},
        {"glEnable", {GL_TEXTURE_2D}},
        {"glColor4f", {1, 1, 1, 1}},
        {"glMaterialfv", {GL_FRONT_AND_BACK, GL_AMBIENT, 0.1f, 0.1f, 0.1f, 1}},
        {"glMaterialfv", {GL_FRONT_AND_BACK, GL_DIFFUSE, 0, 0, 1, 1}},
        {"glMaterialfv", {GL_FRONT_AND_BACK, GL_SPECULAR, 1, 1, 1, 1}},
        {"glMaterialf", {GL_FRONT_AND_BACK, GL_SHININESS, 50}},
        {"glMaterialfv", {GL_FRONT_AND_BACK, GL_EMISSION, 0, 0, 0, 1}},
        // What tracking gives them, set outright: some implementations do not
        // copy the current colour when tracking is enabled.
        {"glMaterialfv", {GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, 1, 1, 1, 1}},
        {"glColorMaterial", {GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE}},
        {"glEnable", {GL_COLOR_MATERIAL}},
    };
    return calls;
}

std::vector<glrec::Call> initCalls(Scene& scene, const Settings& s, const LogoTextureSetUp& logo = {}) {
    glrec::reset();
    initSceneState(scene, s, logo);
    return glrec::calls();
}

void expectCalls(const std::vector<glrec::Call>& actual, const std::vector<glrec::Call>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t k = 0; k < expected.size(); ++k)
        EXPECT_EQ(actual[k], expected[k]) << k << ": " << glrec::toString(actual[k]);
}

} // namespace

TEST(SceneState, explodeEmptiesTheShardsAndBuildsNoGrid) {
    Settings s;
    s.Mode = kExplode;
    Scene scene;
    scene.shards.items().resize(5);
    const auto calls = initCalls(scene, s);
    EXPECT_TRUE(scene.shards.empty());
    EXPECT_TRUE(scene.grid.positions.empty());
    // No GL_NORMALIZE: the explode's normals are unit vectors already.
    expectCalls(calls, fixedState());
}

TEST(SceneState, waveModesRebuildTheGridAsTheSettingsNowStand) {
    for (const int32_t mode : {1, 2, 3, 4, 7, -2}) {
        Settings s;
        s.Mode = mode;
        Scene scene;
        scene.grid.rebuild(s);
        scene.grid.positions[0].z = 9; // an old wave
        s.x_div = 8;                   // as a random preset may leave them
        s.y_div = 6;
        const auto calls = initCalls(scene, s);
        EXPECT_EQ(scene.grid.columns(), 8) << "mode " << mode;
        EXPECT_EQ(scene.grid.rows(), 6);
        ASSERT_EQ(scene.grid.positions.size(), 48u);
        EXPECT_EQ(scene.grid.positions[0].z, 0.0f);

        std::vector<glrec::Call> expected = {{"glEnable", {GL_NORMALIZE}}};
        expected.insert(expected.end(), fixedState().begin(), fixedState().end());
        expectCalls(calls, expected);
    }
}

TEST(SceneState, cameraIsResetFromTheMovementSettings) {
    Settings s;
    s.rotY0 = 20;
    s.rotY1 = 10;
    Scene scene;
    scene.camera.rotX = 12;
    scene.camera.zoom = 0.3f;
    scene.camera.position = Vec3(1, 1, 1);
    scene.camera.swingZ.phase = 99;
    initSceneState(scene, s);
    EXPECT_EQ(scene.camera.rotX, 0.0f);
    EXPECT_EQ(scene.camera.zoom, 1.0f);
    EXPECT_EQ(scene.camera.position, Vec3(0, 0, -300));
    updateCamera(scene.camera, 0.1f);
    EXPECT_NEAR(scene.camera.rotY, 40.0f * 5 / 100, 1e-5); // 2a (n div 2) / n^2
    EXPECT_NEAR(scene.camera.rotZ, 2.25f, 1e-5);
}

TEST(SceneState, logoTextureIsSetUpLastAndOnlyForTheLogo) {
    for (const int32_t useOGL : {0, 1, 7}) {
        Settings s;
        s.useOGL = useOGL;
        Scene scene;
        int runs = 0;
        std::size_t callsBefore = 0;
        initCalls(scene, s, [&] {
            ++runs;
            callsBefore = glrec::calls().size();
        });
        EXPECT_EQ(runs, useOGL != 0 ? 1 : 0) << "useOGL " << useOGL;
        if (runs == 1) {
            EXPECT_EQ(callsBefore, fixedState().size()) << "the logo comes after all fixed state";
        }
        // No texture object is touched here without the logo.
        for (const glrec::Call& c : glrec::calls())
            EXPECT_EQ(c.name.find("Texture"), std::string::npos) << glrec::toString(c);
    }
    // A program that has no logo to offer passes nothing.
    Settings s;
    s.useOGL = 1;
    Scene scene;
    expectCalls(initCalls(scene, s), fixedState());
}
