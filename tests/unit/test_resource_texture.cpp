#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "recording_gl.h"
#include "render/bitmap_resource.h"
#include "render/resource_texture.h"
#include "resources/resource_ids.h"
#include "settings/settings.h"

using namespace kelvara;
namespace glrec = kelvara::glrec;

namespace {

constexpr int kLogoSize = 128;
constexpr std::size_t kLogoStride = 128 * 3; // already a multiple of four

glrec::Call call(const char* name, std::vector<double> args) {
    return glrec::Call{name, std::move(args)};
}

std::string describe(const std::vector<glrec::Call>& calls) {
    std::string s;
    for (const glrec::Call& c : calls)
        s += glrec::toString(c) + "\n";
    return s;
}

// The calls of one successful 128 x 128 load into texture name `name`.
std::vector<glrec::Call> logoLoadCalls(GLuint name) {
    return {
        call("glGenTextures", {1}),
        call("glBindTexture", {GL_TEXTURE_2D, double(name)}),
        call("glPixelStorei", {GL_UNPACK_ROW_LENGTH, 0}),
        call("glPixelStorei", {GL_UNPACK_SKIP_ROWS, 0}),
        call("glPixelStorei", {GL_UNPACK_SKIP_PIXELS, 0}),
        call("glPixelStorei", {GL_UNPACK_ALIGNMENT, 4}),
        call("gluBuild2DMipmaps", {GL_TEXTURE_2D, 3, kLogoSize, kLogoSize, 0x80E0, GL_UNSIGNED_BYTE}),
    };
}

BitmapResource logoResource() {
    BitmapResource logo;
    EXPECT_TRUE(findBitmapResource(IDB_LOGO, logo));
    return logo;
}

// A private copy of the logo's bytes, to damage.
struct BitmapCopy {
    std::vector<unsigned char> bytes;
    BitmapResource resource;

    BitmapCopy() {
        const BitmapResource logo = logoResource();
        bytes.assign(logo.header, logo.header + logo.size);
        resource = logo;
        resource.header = bytes.data();
    }
    void put32(std::size_t offset, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = (v >> (8 * i)) & 0xff;
    }
    void put16(std::size_t offset, uint16_t v) {
        bytes[offset] = v & 0xff;
        bytes[offset + 1] = v >> 8;
    }
};

} // namespace

TEST(ResourceTexture, newRecordIsEmpty) {
    const ResourceTexture texture;
    EXPECT_EQ(texture.pixels, nullptr);
    EXPECT_EQ(texture.loaded, 0);
    EXPECT_EQ(texture.textureName, 0u);
    EXPECT_EQ(texture.width, 0);
    EXPECT_EQ(texture.height, 0);
}

TEST(ResourceTexture, loadsTheLogoBehindItsHeader) {
    glrec::reset();
    ResourceTexture texture;
    ASSERT_TRUE(texture.loadFromBitmapResource(IDB_LOGO));
    EXPECT_EQ(glrec::calls(), logoLoadCalls(1)) << describe(glrec::calls());

    EXPECT_EQ(texture.loaded, 1);
    EXPECT_EQ(texture.textureName, 1u);
    EXPECT_EQ(texture.width, kLogoSize);
    EXPECT_EQ(texture.height, kLogoSize);
    // `pixels` keeps the resource's data; the upload starts behind its header.
    const BitmapResource logo = logoResource();
    EXPECT_EQ(texture.pixels, logo.header);
    EXPECT_EQ(glrec::lastUploadData(), logo.header + 40);
}

TEST(ResourceTexture, missingBitmapMakesNoTexture) {
    for (const uint16_t id : {uint16_t(0), uint16_t(9999)}) {
        glrec::reset();
        ResourceTexture texture;
        texture.loaded = 1; // cleared by any load, successful or not
        EXPECT_FALSE(texture.loadFromBitmapResource(id)) << id;
        EXPECT_EQ(texture.loaded, 0);
        EXPECT_EQ(texture.textureName, 0u);
        EXPECT_EQ(texture.pixels, nullptr);
        EXPECT_TRUE(glrec::calls().empty()) << describe(glrec::calls());
    }
}

TEST(ResourceTexture, reloadReplacesTheTexture) {
    glrec::reset();
    ResourceTexture texture;
    ASSERT_TRUE(texture.loadFromBitmapResource(IDB_LOGO));
    ASSERT_EQ(texture.textureName, 1u);
    glrec::reset(); // the recorder hands out name 1 again
    ASSERT_TRUE(texture.loadFromBitmapResource(IDB_LOGO));

    // The first texture is not leaked: it goes before the new one is made.
    std::vector<glrec::Call> expected{call("glDeleteTextures", {1, 1})};
    for (const glrec::Call& c : logoLoadCalls(1))
        expected.push_back(c);
    EXPECT_EQ(glrec::calls(), expected) << describe(glrec::calls());
    EXPECT_EQ(texture.loaded, 1);
}

TEST(ResourceTexture, destructorDeletesOnlyAMadeTexture) {
    glrec::reset();
    GLuint name = 0;
    {
        ResourceTexture texture;
        ASSERT_TRUE(texture.loadFromBitmapResource(IDB_LOGO));
        name = texture.textureName;
        glrec::reset();
    }
    EXPECT_EQ(glrec::calls(), std::vector<glrec::Call>{call("glDeleteTextures", {1, double(name)})})
        << describe(glrec::calls());

    glrec::reset();
    {
        ResourceTexture empty;
        EXPECT_FALSE(empty.loadFromBitmapResource(9999));
    }
    EXPECT_TRUE(glrec::calls().empty()) << describe(glrec::calls());
}

TEST(ResourceTexture, releaseDeletesNowAndEmptiesTheRecord) {
    glrec::reset();
    {
        ResourceTexture texture;
        ASSERT_TRUE(texture.loadFromBitmapResource(IDB_LOGO));
        glrec::reset();
        texture.release();
        EXPECT_EQ(glrec::calls(), std::vector<glrec::Call>{call("glDeleteTextures", {1, 1})});
        EXPECT_EQ(texture.textureName, 0u);
        EXPECT_EQ(texture.loaded, 0);
        EXPECT_EQ(texture.pixels, nullptr);
        glrec::reset();
    }
    // Nothing left for the destructor: it may run where no context is current.
    EXPECT_TRUE(glrec::calls().empty()) << describe(glrec::calls());
}

TEST(ResourceTexture, logoSetUpFiltersByUseLinear) {
    struct Case {
        int32_t useLinear;
        GLenum filter;
    };
    for (const Case c : {Case{1, GL_LINEAR}, Case{0, GL_NEAREST}, Case{-7, GL_LINEAR}}) {
        glrec::reset();
        Settings settings;
        settings.useLinear = c.useLinear;
        ResourceTexture texture;
        ASSERT_TRUE(setupLogoTexture(texture, settings));

        // The parameters go to the logo's own texture object, bound by the load.
        std::vector<glrec::Call> expected = logoLoadCalls(1);
        expected.push_back(call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT}));
        expected.push_back(call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT}));
        expected.push_back(call("glTexEnvf", {GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE}));
        expected.push_back(call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, double(c.filter)}));
        expected.push_back(call("glTexParameteri", {GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, double(c.filter)}));
        EXPECT_EQ(glrec::calls(), expected) << "useLinear " << c.useLinear << "\n"
                                            << describe(glrec::calls());
        EXPECT_EQ(texture.loaded, 1);
    }
}

TEST(LogoBitmap, headerDescribes128By128At24Bits) {
    const BitmapResource logo = logoResource();
    ASSERT_NE(logo.header, nullptr);
    ASSERT_GE(logo.size, 40u + kLogoStride * kLogoSize);
    const unsigned char* h = logo.header;
    EXPECT_EQ(bitmapField32(h), 40u);                    // header size
    EXPECT_EQ(int32_t(bitmapField32(h + 4)), kLogoSize); // width
    EXPECT_EQ(int32_t(bitmapField32(h + 8)), kLogoSize); // positive: see make-pictures
    EXPECT_EQ(bitmapField16(h + 12), 1u);                // planes
    EXPECT_EQ(bitmapField16(h + 14), 24u);               // bits per pixel
    EXPECT_EQ(bitmapField32(h + 16), 0u);                // uncompressed
    EXPECT_EQ(bitmapField32(h + 32), 0u);                // no colour table
    EXPECT_EQ(logo.width, kLogoSize);
    EXPECT_EQ(logo.height, kLogoSize);
    EXPECT_EQ(bitmapRows(logo), h + 40);
}

TEST(LogoBitmap, firstStoredRowIsThePicturesTop) {
    // make-pictures leaves the picture's top quarter white and runs the
    // swoosh, light blue, through its bottom quarter. Stored the usual bitmap
    // way, bottom row first, the blue would come first.
    const BitmapResource logo = logoResource();
    const unsigned char* rows = bitmapRows(logo);
    ASSERT_NE(rows, nullptr);
    for (int y = 0; y < kLogoSize / 4; ++y)
        for (std::size_t i = 0; i < kLogoStride; ++i)
            ASSERT_EQ(rows[y * kLogoStride + i], 0xff) << "row " << y << " byte " << i;

    int bluish = 0;
    for (int y = kLogoSize * 3 / 4; y < kLogoSize; ++y)
        for (int x = 0; x < kLogoSize; ++x) {
            const unsigned char* p = rows + y * kLogoStride + x * 3;
            // Stored blue, green, red: light blue has far more blue than red.
            if (p[0] > p[2] + 40)
                ++bluish;
            EXPECT_GE(p[0], p[2]) << "row " << y << " column " << x << " is not blue on white";
        }
    EXPECT_GT(bluish, 100);
}

TEST(BitmapRows, refusesAnythingButTheUploadsLayout) {
    {
        const BitmapCopy good;
        EXPECT_EQ(bitmapRows(good.resource), good.bytes.data() + 40);
    }
    struct Damage {
        const char* what;
        void (*apply)(BitmapCopy&);
    };
    const Damage damages[] = {
        {"core header", [](BitmapCopy& b) { b.put32(0, 12); }},
        {"larger header", [](BitmapCopy& b) { b.put32(0, 108); }},
        {"32 bits", [](BitmapCopy& b) { b.put16(14, 32); }},
        {"8 bits", [](BitmapCopy& b) { b.put16(14, 8); }},
        {"two planes", [](BitmapCopy& b) { b.put16(12, 2); }},
        {"compressed", [](BitmapCopy& b) { b.put32(16, 3); }},
        {"colour table", [](BitmapCopy& b) { b.put32(32, 16); }},
        {"header wider than the object", [](BitmapCopy& b) { b.put32(4, 129); }},
        {"header taller than the object", [](BitmapCopy& b) { b.put32(8, uint32_t(-129)); }},
        {"object wider", [](BitmapCopy& b) { b.resource.width = 4096; }},
        {"object taller", [](BitmapCopy& b) { b.resource.height = 4096; }},
        {"zero width",
         [](BitmapCopy& b) {
             b.put32(4, 0);
             b.resource.width = 0;
         }},
        {"negative width",
         [](BitmapCopy& b) {
             b.put32(4, uint32_t(-128));
             b.resource.width = -128;
         }},
        {"most negative height",
         [](BitmapCopy& b) {
             b.put32(8, 0x80000000u);
             b.resource.height = int32_t(0x80000000u);
         }},
        {"one byte short", [](BitmapCopy& b) { --b.resource.size; }},
        {"header only", [](BitmapCopy& b) { b.resource.size = 40; }},
        {"shorter than a header", [](BitmapCopy& b) { b.resource.size = 39; }},
        {"no data", [](BitmapCopy& b) { b.resource.header = nullptr; }},
    };
    for (const Damage& d : damages) {
        BitmapCopy copy;
        d.apply(copy);
        EXPECT_EQ(bitmapRows(copy.resource), nullptr) << d.what;
    }
}

TEST(BitmapRows, paddedRowsAndEitherRowOrder) {
    // 5 pixels of 3 bytes make 15, padded to 16 per row.
    std::vector<unsigned char> bytes(40 + 16 * 3, 0);
    BitmapCopy shape; // a valid header to start from
    std::memcpy(bytes.data(), shape.bytes.data(), 40);
    auto put32 = [&](std::size_t offset, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bytes[offset + i] = (v >> (8 * i)) & 0xff;
    };
    put32(4, 5);
    BitmapResource bitmap{bytes.data(), bytes.size(), 5, 3};
    for (const int32_t storedHeight : {-3, 3}) {
        put32(8, uint32_t(storedHeight));
        EXPECT_EQ(bitmapRows(bitmap), bytes.data() + 40) << storedHeight;
        bitmap.size = bytes.size() - 1; // the last row's padding is part of it
        EXPECT_EQ(bitmapRows(bitmap), nullptr) << storedHeight;
        bitmap.size = bytes.size();
    }
}
