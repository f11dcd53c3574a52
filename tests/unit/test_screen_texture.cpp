#include <gtest/gtest.h>

#include <GL/gl.h>

#include "recording_gl.h"
#include "render/screen_texture.h"
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

TEST(ScreenTexture, sizesToScaleGoThroughTheMipmapBuilder) {
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
            call("glGetIntegerv", {GL_MAX_TEXTURE_SIZE}),
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

TEST(ScreenTexture, powerOfTwoSizesWithinTheLimitUploadLevelZeroAlone) {
    struct Case {
        int32_t width, height, limit;
        bool direct;
    };
    for (const Case c : {Case{8, 4, 2048, true}, Case{512, 256, 2048, true}, Case{2048, 1, 2048, true},
                         Case{4096, 4096, 2048, false}, Case{256, 300, 2048, false}, Case{1, 1, 2048, true},
                         Case{64, 64, 32, false}}) {
        Settings s;
        CaptureBuffer buffer{c.width, c.height,
                             std::vector<uint8_t>(static_cast<std::size_t>(c.width) * c.height * 3, 9)};
        const void* pixels = buffer.bgr.data();
        glrec::reset();
        glrec::setMaxTextureSize(c.limit);
        ASSERT_NE(createScreenTexture(buffer, s), 0u);
        const auto direct = glrec::callsNamed("glTexImage2D");
        const auto built = glrec::callsNamed("gluBuild2DMipmaps");
        EXPECT_EQ(glrec::lastUploadData(), pixels);
        if (c.direct) {
            ASSERT_EQ(direct.size(), 1u) << c.width << "x" << c.height;
            EXPECT_TRUE(built.empty());
            EXPECT_EQ(direct[0], call("glTexImage2D", {GL_TEXTURE_2D, 0, 3, double(c.width), double(c.height), 0,
                                                       GL_BGR_EXT, GL_UNSIGNED_BYTE}));
        } else {
            EXPECT_TRUE(direct.empty()) << c.width << "x" << c.height << " limit " << c.limit;
            ASSERT_EQ(built.size(), 1u);
        }
    }
    glrec::reset();
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
        EXPECT_EQ(glrec::callsNamed("glTexImage2D").size(), 0u);
        EXPECT_EQ(glrec::callsNamed("glGenTextures").size(), 0u);
        EXPECT_TRUE(buffer.bgr.empty());
    }
}
