#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "capture/capture_scale.h"
#include "capture/screencopy_image.h"

namespace kelvara {
namespace {

// A 32-bit little-endian buffer whose pixels are named by one letter each,
// kept in the blue byte, so a turned copy can be read back as text.
struct Letters {
    int32_t width, height;
    std::vector<uint8_t> bytes;
    Letters(int32_t w, int32_t h, const std::string& rows) : width(w), height(h), bytes(std::size_t(w) * h * 4) {
        for (std::size_t i = 0; i < rows.size(); ++i)
            bytes[i * 4] = static_cast<uint8_t>(rows[i]);
    }
    ScreencopyPicture picture(int32_t transform, bool yInvert) const {
        ScreencopyPicture p;
        EXPECT_TRUE(shmFormatLayout(kShmXrgb8888, p.pixels));
        p.pixels.data = bytes.data();
        p.pixels.width = width;
        p.pixels.height = height;
        p.pixels.bytesPerLine = width * 4;
        p.transform = transform;
        p.yInvert = yInvert;
        return p;
    }
};

std::string read(const PackedImage& image) {
    std::string text;
    for (int32_t y = 0; y < image.height; ++y) {
        for (int32_t x = 0; x < image.width; ++x)
            text += static_cast<char>(image.data[std::size_t(y) * image.bytesPerLine + std::size_t(x) * 4]);
        text += '/';
    }
    return text;
}

// The output shows "abc/def/" (3 wide, 2 high). What its buffer holds for
// each transform is what headless sway's screencopy gave for outputs turned
// so (grim's pictures of them were upright and matched these).
TEST(ScreencopyImage, eachTransformAndYInvertComesBackUpright) {
    struct Case {
        int32_t transform;
        bool yInvert;
        int32_t width, height;
        const char* buffer;
    };
    const Case cases[] = {
        {0, false, 3, 2, "abcdef"},
        {0, true, 3, 2, "defabc"},
        {1, false, 2, 3, "cfbead"}, // 90: turned a quarter counter-clockwise
        {2, false, 3, 2, "fedcba"},
        {3, false, 2, 3, "daebfc"},
        {4, false, 3, 2, "cbafed"}, // flipped: mirrored left to right
        {5, false, 2, 3, "adbecf"},
        {6, false, 3, 2, "defabc"},
        {7, false, 2, 3, "fcebda"},
        {1, true, 2, 3, "adbecf"}, // bottom row first, then turned
        {2, true, 3, 2, "cbafed"},
    };
    for (const Case& c : cases) {
        const Letters buffer(c.width, c.height, c.buffer);
        std::vector<uint8_t> storage;
        const PackedImage upright = uprightPicture(buffer.picture(c.transform, c.yInvert), storage);
        EXPECT_EQ(upright.width, 3) << c.transform << c.yInvert;
        EXPECT_EQ(upright.height, 2) << c.transform << c.yInvert;
        EXPECT_EQ(read(upright), "abc/def/") << "transform " << c.transform << " y-invert " << c.yInvert;
    }
}

TEST(ScreencopyImage, anUprightBufferIsUsedAsItIs) {
    const Letters buffer(3, 2, "abcdef");
    std::vector<uint8_t> storage{1, 2, 3};
    const PackedImage upright = uprightPicture(buffer.picture(0, false), storage);
    EXPECT_EQ(upright.data, buffer.bytes.data());
    EXPECT_TRUE(storage.empty());
}

// One pixel of the colour (r, g, b) in `format`, as the compositor stores it.
std::vector<uint8_t> pixelIn(uint32_t format, uint8_t r, uint8_t g, uint8_t b) {
    const bool bgrOrder = format == kShmXbgr8888 || format == kShmAbgr8888;
    // Little-endian words: the lowest byte first.
    return bgrOrder ? std::vector<uint8_t>{r, g, b, 0x7F} : std::vector<uint8_t>{b, g, r, 0x7F};
}

TEST(ScreencopyImage, theFourFormatsGiveTheSameColoursAndAlphaIsIgnored) {
    for (uint32_t format : {kShmXrgb8888, kShmArgb8888, kShmXbgr8888, kShmAbgr8888}) {
        std::vector<uint8_t> bytes = pixelIn(format, 200, 100, 50);
        PackedImage image;
        ASSERT_TRUE(shmFormatLayout(format, image)) << format;
        image.data = bytes.data();
        image.width = image.height = 1;
        image.bytesPerLine = 4;
        CaptureBuffer out;
        ASSERT_TRUE(scaleToCapture(image, 1, 1, out)) << format;
        EXPECT_EQ(out.bgr, (std::vector<uint8_t>{50, 100, 200})) << format;
    }
}

constexpr uint32_t kRgb565 = 0x36314752;
constexpr uint32_t kXrgb2101010 = 0x30335258;

TEST(ScreencopyImage, formatsItCannotReadAreRefused) {
    PackedImage image;
    EXPECT_FALSE(shmFormatLayout(kRgb565, image));
    EXPECT_FALSE(shmFormatLayout(kXrgb2101010, image));
}

// The offers of one copy in the compositor's order, and the format the copy
// ends up with.
TEST(ScreencopyImage, theFirstReadableOfferIsTaken) {
    struct Case {
        std::vector<uint32_t> offers;
        uint32_t taken;
    };
    const Case cases[] = {
        {{kXrgb2101010, kShmXrgb8888}, kShmXrgb8888}, // a 10-bit first one is no dead end
        {{kRgb565, kXrgb2101010, kShmAbgr8888, kShmXrgb8888}, kShmAbgr8888},
        {{kShmArgb8888, kShmXrgb8888}, kShmArgb8888}, // the compositor's preference stands
        {{kXrgb2101010, kRgb565}, kXrgb2101010},      // none readable: the first is named
    };
    for (const Case& c : cases) {
        bool have = false;
        uint32_t held = 0;
        for (uint32_t offer : c.offers)
            if (takesShmOffer(have, held, offer)) {
                have = true;
                held = offer;
            }
        EXPECT_EQ(held, c.taken) << c.offers.size() << " offers, the first " << c.offers[0];
    }
}

} // namespace
} // namespace kelvara
