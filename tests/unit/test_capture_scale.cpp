#include <gtest/gtest.h>

#include <vector>

#include "capture/capture_scale.h"

namespace kelvara {
namespace {

// 32-bit pixels 0x00RRGGBB stored least significant byte first, as a 24-bit
// TrueColor X server on a little-endian machine hands them over.
struct Image32 {
    int32_t width, height;
    std::vector<uint8_t> bytes;
    Image32(int32_t w, int32_t h) : width(w), height(h), bytes(static_cast<std::size_t>(w) * h * 4) {}
    void set(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b) {
        uint8_t* p = &bytes[(static_cast<std::size_t>(y) * width + x) * 4];
        p[0] = b;
        p[1] = g;
        p[2] = r;
        p[3] = 0xEE; // padding byte the masks must ignore
    }
    PackedImage packed() const {
        return PackedImage{bytes.data(), width, height, width * 4, 4, false, 0xFF0000, 0x00FF00, 0x0000FF};
    }
};

std::vector<uint8_t> pixel(const CaptureBuffer& c, int32_t x, int32_t y) {
    const std::size_t at = (static_cast<std::size_t>(y) * c.width + x) * 3;
    return {c.bgr[at], c.bgr[at + 1], c.bgr[at + 2]};
}

TEST(CaptureScale, halvingAveragesEachTwoByTwoBlockIntoBgr) {
    Image32 image(4, 2);
    // Left block: two reds (200) and two of 100 red, 40 green -> mean 150, 20, 0.
    image.set(0, 0, 200, 0, 0);
    image.set(1, 0, 200, 0, 0);
    image.set(0, 1, 100, 40, 0);
    image.set(1, 1, 100, 40, 0);
    // Right block: blue 0 and 255 alternating -> 127.5, rounded to 128.
    image.set(2, 0, 0, 0, 0);
    image.set(3, 0, 0, 0, 255);
    image.set(2, 1, 0, 0, 255);
    image.set(3, 1, 0, 0, 0);
    CaptureBuffer out;
    ASSERT_TRUE(scaleToCapture(image.packed(), 2, 1, out));
    EXPECT_EQ(out.width, 2);
    EXPECT_EQ(out.height, 1);
    ASSERT_TRUE(holdsPicture(out));
    EXPECT_EQ(pixel(out, 0, 0), (std::vector<uint8_t>{0, 20, 150}));
    EXPECT_EQ(pixel(out, 1, 0), (std::vector<uint8_t>{128, 0, 0}));
}

TEST(CaptureScale, partlyCoveredSourcePixelsCountByTheirShare) {
    // Three columns into two: each output column covers 1.5 source columns,
    // so the first is (2 x a + b) / 3 and the second (b + 2 x c) / 3.
    Image32 image(3, 1);
    image.set(0, 0, 0, 0, 0);
    image.set(1, 0, 90, 0, 0);
    image.set(2, 0, 180, 0, 0);
    CaptureBuffer out;
    ASSERT_TRUE(scaleToCapture(image.packed(), 2, 1, out));
    EXPECT_EQ(pixel(out, 0, 0)[2], 30);
    EXPECT_EQ(pixel(out, 1, 0)[2], 150);
}

TEST(CaptureScale, rowsStayTopFirstAndUniformAreasKeepTheirColour) {
    Image32 image(1024, 768);
    for (int32_t y = 0; y < 768; ++y)
        for (int32_t x = 0; x < 1024; ++x)
            y < 384 ? image.set(x, y, 255, 0, 0) : image.set(x, y, 0, 0, 255);
    CaptureBuffer out;
    ASSERT_TRUE(scaleToCapture(image.packed(), 512, 256, out));
    EXPECT_EQ(out.bgr.size(), 512u * 256u * 3u);
    EXPECT_EQ(pixel(out, 0, 0), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(pixel(out, 511, 127), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(pixel(out, 0, 128), (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(pixel(out, 511, 255), (std::vector<uint8_t>{255, 0, 0}));
}

TEST(CaptureScale, enlargingRepeatsPixels) {
    Image32 image(2, 1);
    image.set(0, 0, 10, 20, 30);
    image.set(1, 0, 40, 50, 60);
    CaptureBuffer out;
    ASSERT_TRUE(scaleToCapture(image.packed(), 4, 2, out));
    for (int32_t y = 0; y < 2; ++y) {
        EXPECT_EQ(pixel(out, 0, y), (std::vector<uint8_t>{30, 20, 10}));
        EXPECT_EQ(pixel(out, 1, y), (std::vector<uint8_t>{30, 20, 10}));
        EXPECT_EQ(pixel(out, 3, y), (std::vector<uint8_t>{60, 50, 40}));
    }
}

TEST(CaptureScale, eachMonitorsCutShowsOnlyItsOwnPart) {
    // Two monitors side by side, 6 x 4 and 4 x 2 (tops aligned): green over
    // yellow on the left, red over blue on the right; below the small one the
    // picture is off every monitor (grey).
    Image32 image(10, 4);
    for (int32_t y = 0; y < 4; ++y)
        for (int32_t x = 0; x < 10; ++x) {
            if (x < 6)
                y < 2 ? image.set(x, y, 0, 255, 0) : image.set(x, y, 255, 255, 0);
            else if (y < 2)
                x < 8 ? image.set(x, y, 255, 0, 0) : image.set(x, y, 0, 0, 255);
            else
                image.set(x, y, 128, 128, 128);
        }
    CaptureBuffer left, right;
    ASSERT_TRUE(cutAndScale(image.packed(), ScreenRect{0, 0, 6, 4}, 3, 2, left));
    ASSERT_TRUE(cutAndScale(image.packed(), ScreenRect{6, 0, 4, 2}, 2, 2, right));
    EXPECT_EQ(pixel(left, 0, 0), (std::vector<uint8_t>{0, 255, 0}));
    EXPECT_EQ(pixel(left, 2, 1), (std::vector<uint8_t>{0, 255, 255}));
    EXPECT_EQ(pixel(right, 0, 0), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(pixel(right, 1, 1), (std::vector<uint8_t>{255, 0, 0}));

    // A cut reaching past the picture keeps only what lies inside it.
    CaptureBuffer clipped;
    ASSERT_TRUE(cutAndScale(image.packed(), ScreenRect{8, -5, 10, 7}, 1, 1, clipped));
    EXPECT_EQ(pixel(clipped, 0, 0), (std::vector<uint8_t>{255, 0, 0}));
    CaptureBuffer outside;
    EXPECT_FALSE(cutAndScale(image.packed(), ScreenRect{10, 0, 4, 2}, 2, 2, outside));
    EXPECT_FALSE(holdsPicture(outside));
}

TEST(CaptureScale, sixteenBitMostSignificantByteFirstScalesChannelsToFullRange) {
    // 5-6-5: full red, no green, full blue, in big-endian byte order.
    const uint16_t value = 0xF81F;
    const uint8_t bytes[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)};
    PackedImage image{bytes, 1, 1, 2, 2, true, 0xF800, 0x07E0, 0x001F};
    CaptureBuffer out;
    ASSERT_TRUE(scaleToCapture(image, 1, 1, out));
    EXPECT_EQ(pixel(out, 0, 0), (std::vector<uint8_t>{255, 0, 255}));
}

TEST(CaptureScale, unusableImagesLeaveTheBufferEmpty) {
    Image32 image(4, 4);
    CaptureBuffer out;
    out.width = 1;
    out.height = 1;
    out.bgr.assign(3, 7);

    PackedImage noData = image.packed();
    noData.data = nullptr;
    EXPECT_FALSE(scaleToCapture(noData, 2, 2, out));
    EXPECT_FALSE(holdsPicture(out));
    EXPECT_TRUE(out.bgr.empty());

    PackedImage shortRows = image.packed();
    shortRows.bytesPerLine = 15; // less than 4 pixels of 4 bytes
    EXPECT_FALSE(scaleToCapture(shortRows, 2, 2, out));
    PackedImage oddPixels = image.packed();
    oddPixels.bytesPerPixel = 0;
    EXPECT_FALSE(scaleToCapture(oddPixels, 2, 2, out));
    EXPECT_FALSE(scaleToCapture(image.packed(), 0, 2, out));
    EXPECT_FALSE(scaleToCapture(image.packed(), 2, -1, out));
    // A palette screen's picture: indices, no colour channel to read.
    PackedImage palette = image.packed();
    palette.bytesPerPixel = 1;
    palette.bytesPerLine = 4;
    palette.redMask = palette.greenMask = palette.blueMask = 0;
    EXPECT_FALSE(scaleToCapture(palette, 2, 2, out));
    // One channel is still a picture (a grey or single-colour screen).
    PackedImage redOnly = image.packed();
    redOnly.greenMask = redOnly.blueMask = 0;
    image.set(0, 0, 255, 255, 255);
    EXPECT_TRUE(scaleToCapture(redOnly, 4, 4, out));
    EXPECT_EQ(pixel(out, 0, 0), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_FALSE(scaleToCapture(palette, 2, 2, out));
    EXPECT_TRUE(out.bgr.empty());
    EXPECT_EQ(out.width, 0);
}

} // namespace
} // namespace kelvara
