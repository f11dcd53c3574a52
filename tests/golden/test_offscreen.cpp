#include <gtest/gtest.h>

#include "picture_compare.h"
#include "render/scene_state.h"
#include "render/screen_texture.h"
#include "scene/gl.h"
#include "tools/offscreen.h"

using namespace kelvara;

namespace {

// Draws the virtual screen (1024 x 768 units, y up) flat across the viewport,
// with the texture coordinates the scene's geometry uses: s = x / 1024,
// t = 1 - y / 768.
void drawFlatPicture() {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(0.0, 1024.0, 0.0, 768.0, -1.0, 1.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    const float corners[4][2] = {{0, 0}, {1024, 0}, {1024, 768}, {0, 768}};
    glBegin(GL_QUADS);
    for (const auto& c : corners) {
        glTexCoord2f(c[0] / 1024.0f, 1.0f - c[1] / 768.0f);
        glVertex3f(c[0], c[1], 0.0f);
    }
    glEnd();
    glFinish();
}

// Renders `pattern` as the screen texture, flat across a viewport of
// width x height, with nearest filtering.
RgbImage showFlat(const RgbImage& pattern, int32_t width, int32_t height) {
    OffscreenContext context;
    std::string error;
    EXPECT_TRUE(context.create(width, height, error)) << error;
    glViewport(0, 0, width, height);
    Settings settings;
    settings.useLinear = 0;
    CaptureBuffer buffer = captureFromImage(pattern, pattern.width, pattern.height);
    EXPECT_NE(createScreenTexture(buffer, settings), 0u);
    EXPECT_TRUE(buffer.bgr.empty());
    drawFlatPicture();
    return context.read();
}

} // namespace

TEST(Offscreen, screenTextureShowsThePictureUpright) {
    // Drawn at exactly twice its size with nearest filtering, every texel
    // becomes a 2 x 2 block: the read-back must equal the picture enlarged,
    // top row at the top, colours in their places.
    const RgbImage pattern = makeTestPattern(128, 64);
    const RgbImage shown = showFlat(pattern, 256, 128);
    const RgbImage expected = scaleImage(pattern, 256, 128);
    const golden::Tolerance exact{0, 1.0, 0.0};
    const golden::PictureDifference d = golden::comparePictures(expected, shown, exact);
    EXPECT_TRUE(golden::matches(d, exact)) << golden::describe(d);
}

TEST(Offscreen, screenTextureOfAWidthNotAMultipleOfFourKeepsItsRows) {
    // 130 texels: rows of 390 bytes. GLU rescales the picture to a power of two
    // first, so compare 10 x 11 pixel blocks rather than pixels; rows uploaded
    // with the wrong alignment would shear the picture and mix its channels.
    const RgbImage pattern = makeTestPattern(130, 66);
    const RgbImage shown = showFlat(pattern, 260, 132);
    const RgbImage expected = scaleImage(pattern, 260, 132);
    const golden::Tolerance blocks{24, 0.95, 6.0};
    const golden::PictureDifference d =
        golden::comparePictures(scaleImage(expected, 26, 12), scaleImage(shown, 26, 12), blocks);
    EXPECT_TRUE(golden::matches(d, blocks)) << golden::describe(d);
}

TEST(Offscreen, noPictureLeavesTheSceneUntextured) {
    OffscreenContext context;
    std::string error;
    ASSERT_TRUE(context.create(64, 48, error)) << error;
    glViewport(0, 0, 64, 48);

    CaptureBuffer broken{16, 16, std::vector<uint8_t>(100, 0)};
    EXPECT_EQ(createScreenTexture(broken, Settings{}), 0u);
    glEnable(GL_TEXTURE_2D);
    drawFlatPicture();

    // An incomplete texture disables texturing: the surface keeps its white.
    const RgbImage shown = context.read();
    ASSERT_EQ(shown.rgb.size(), 64u * 48u * 3u);
    for (uint8_t v : shown.rgb)
        ASSERT_EQ(v, 255);
}

TEST(Offscreen, contextRefusesSizesOutOfRange) {
    std::string error;
    {
        OffscreenContext context;
        EXPECT_FALSE(context.create(0, 10, error));
        EXPECT_NE(error.find("0x10"), std::string::npos) << error;
    }
    {
        OffscreenContext context;
        EXPECT_FALSE(context.create(kMaxOffscreenSide + 1, 10, error));
        EXPECT_TRUE(context.read().empty());
    }
    {
        OffscreenContext context;
        ASSERT_TRUE(context.create(8, 8, error)) << error;
        EXPECT_FALSE(context.create(8, 8, error)); // one context per object
    }
}

TEST(Offscreen, sceneStateLeavesAWhiteMaterial) {
    // The colour material must win over the blue diffuse set just before it,
    // on a real GL: a driver that applies buffered material values late (Mesa
    // 22 does) would otherwise tint the whole scene blue.
    OffscreenContext context;
    std::string error;
    ASSERT_TRUE(context.create(16, 16, error)) << error;
    for (int32_t mode : {kExplode, kWave1}) {
        Settings settings;
        settings.Mode = mode;
        Scene scene([] { return 0.0; });
        initSceneState(scene, settings);
        for (GLenum face : {GL_FRONT, GL_BACK}) {
            for (GLenum parameter : {GL_AMBIENT, GL_DIFFUSE}) {
                GLfloat value[4] = {};
                glGetMaterialfv(face, parameter, value);
                EXPECT_EQ(value[0], 1.0f) << mode << " " << face << " " << parameter;
                EXPECT_EQ(value[1], 1.0f) << mode << " " << face << " " << parameter;
                EXPECT_EQ(value[2], 1.0f) << mode << " " << face << " " << parameter;
            }
        }
    }
}
