#include <gtest/gtest.h>

#include <GL/gl.h>

#include "gfx/screen_texture.h"
#include "recording_gl.h"
#include "scene/gl.h"

using namespace kelvara;
namespace glrec = kelvara::glrec;

namespace {

std::size_t indexOf(const std::string& name) {
    const auto& calls = glrec::calls();
    for (std::size_t k = 0; k < calls.size(); ++k)
        if (calls[k].name == name)
            return k;
    return calls.size();
}

glrec::Call call(const std::string& name, std::vector<double> args) {
    return {name, std::move(args)};
}

} // namespace

TEST(ScreenTexture, buildsTheMipmapChainFromTheBuffer) {
    for (int32_t linear : {1, 0}) {
        Settings s;
        s.useLinear = linear;
        // 6 wide: 18 bytes a row, which only a byte alignment uploads intact.
        CaptureBuffer buffer{6, 2, std::vector<uint8_t>(36, 7)};
        glrec::reset();
        const unsigned name = createScreenTexture(buffer, s);
        ASSERT_NE(name, 0u);

        const double filter = linear ? GL_LINEAR : GL_NEAREST;
        const std::vector<glrec::Call> expected = {
            call("glEnable", {GL_TEXTURE_2D}),
            call("glGenTextures", {1}),
            call("glBindTexture", {GL_TEXTURE_2D, double(name)}),
            call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT}),
            call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT}),
            call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter}),
            call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter}),
            call("glTexEnvf", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE}),
            call("glPixelStorei", {GL_UNPACK_ALIGNMENT, 1}),
            call("gluBuild2DMipmaps", {GL_TEXTURE_2D, 3, 6, 2, GL_BGR_EXT, GL_UNSIGNED_BYTE}),
        };
        ASSERT_EQ(glrec::calls().size(), expected.size());
        for (std::size_t k = 0; k < expected.size(); ++k)
            EXPECT_EQ(glrec::calls()[k], expected[k]) << glrec::toString(glrec::calls()[k]);

        // The buffer is consumed.
        EXPECT_EQ(buffer.width, 0);
        EXPECT_EQ(buffer.height, 0);
        EXPECT_TRUE(buffer.bgr.empty());
        EXPECT_EQ(buffer.bgr.capacity(), 0u);
    }
}

TEST(ScreenTexture, alignmentIsSetBeforeTheUpload) {
    CaptureBuffer buffer{3, 1, std::vector<uint8_t>(9)};
    glrec::reset();
    createScreenTexture(buffer, Settings{});
    EXPECT_LT(indexOf("glPixelStorei"), indexOf("gluBuild2DMipmaps"));
    EXPECT_LT(indexOf("glBindTexture"), indexOf("gluBuild2DMipmaps"));
}

TEST(ScreenTexture, noWholePictureMakesNoTexture) {
    const CaptureBuffer bad[] = {
        CaptureBuffer{},                               // never filled
        CaptureBuffer{4, 4, {}},                       // sizes without pixels
        CaptureBuffer{4, 4, std::vector<uint8_t>(47)}, // one byte short
        CaptureBuffer{4, 4, std::vector<uint8_t>(49)}, // one byte over
        CaptureBuffer{0, 4, std::vector<uint8_t>(12)},
        CaptureBuffer{-4, -1, std::vector<uint8_t>(12)}, // negative sizes whose product fits
    };
    for (CaptureBuffer buffer : bad) {
        glrec::reset();
        EXPECT_EQ(createScreenTexture(buffer, Settings{}), 0u);
        EXPECT_EQ(glrec::callsNamed("gluBuild2DMipmaps").size(), 0u);
        EXPECT_EQ(glrec::callsNamed("glGenTextures").size(), 0u);
        EXPECT_TRUE(buffer.bgr.empty());
    }
}
