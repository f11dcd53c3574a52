#include <gtest/gtest.h>

#include "capture/picture.h"

using namespace kelvara;

namespace {

RgbImage imageOf(int32_t w, int32_t h, std::vector<uint8_t> rgb) {
    return RgbImage{w, h, std::move(rgb)};
}

// Red, green, blue of pixel (x, y), y counted from the top.
std::array<int, 3> pixel(const RgbImage& im, int32_t x, int32_t y) {
    const std::size_t k =
        (static_cast<std::size_t>(y) * static_cast<std::size_t>(im.width) + static_cast<std::size_t>(x)) * 3u;
    return {im.rgb[k], im.rgb[k + 1], im.rgb[k + 2]};
}

RgbImage flippedVertically(const RgbImage& im) {
    RgbImage out = im;
    const std::size_t stride = static_cast<std::size_t>(im.width) * 3u;
    for (int32_t y = 0; y < im.height; ++y)
        std::copy_n(im.rgb.begin() + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(y)),
                    stride,
                    out.rgb.begin() +
                        static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(im.height - 1 - y)));
    return out;
}

RgbImage flippedHorizontally(const RgbImage& im) {
    RgbImage out = im;
    for (int32_t y = 0; y < im.height; ++y)
        for (int32_t x = 0; x < im.width; ++x)
            for (std::size_t c = 0; c < 3; ++c)
                out.rgb[(static_cast<std::size_t>(y * im.width + x)) * 3 + c] =
                    im.rgb[(static_cast<std::size_t>(y * im.width + (im.width - 1 - x))) * 3 + c];
    return out;
}

} // namespace

TEST(Picture, scaleToSameSizeKeepsEveryByte) {
    const RgbImage src = imageOf(3, 2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18});
    const RgbImage out = scaleImage(src, 3, 2);
    EXPECT_EQ(out.width, 3);
    EXPECT_EQ(out.height, 2);
    EXPECT_EQ(out.rgb, src.rgb);
}

TEST(Picture, shrinkAveragesTheCoveredPixels) {
    // 4 x 2 to 2 x 1: each target pixel is the mean of a 2 x 2 block.
    const RgbImage src = imageOf(4, 2, {0,   0,  0, 100, 10, 1, 200, 0, 0, 200, 0,   0, //
                                        100, 20, 3, 0,   30, 0, 0,   0, 0, 100, 255, 255});
    const RgbImage out = scaleImage(src, 2, 1);
    ASSERT_EQ(out.rgb.size(), 6u);
    EXPECT_EQ(pixel(out, 0, 0), (std::array<int, 3>{50, 15, 1}));   // (0+100+100+0)/4, (0+10+20+30)/4, 4/4
    EXPECT_EQ(pixel(out, 1, 0), (std::array<int, 3>{125, 64, 64})); // 500/4, 255/4 = 63.75, rounded

}

TEST(Picture, scalesWithTheCapturesOwnAreaFilter) {
    // 3 to 2 across: each target covers one and a half source pixels, the
    // middle one counting half; the texture's picture is the same in BGR.
    const RgbImage row = imageOf(3, 1, {0, 0, 0, 90, 60, 30, 180, 120, 60});
    const RgbImage two = scaleImage(row, 2, 1);
    EXPECT_EQ(pixel(two, 0, 0), (std::array<int, 3>{30, 20, 10}));
    EXPECT_EQ(pixel(two, 1, 0), (std::array<int, 3>{150, 100, 50}));
    const CaptureBuffer texture = captureFromImage(row, 2, 1);
    EXPECT_EQ(texture.bgr, (std::vector<uint8_t>{10, 20, 30, 50, 100, 150}));

    // Enlarging by a whole factor repeats each pixel.
    const RgbImage src = imageOf(2, 1, {10, 20, 30, 40, 50, 60});
    const RgbImage four = scaleImage(src, 4, 3);
    for (int32_t y = 0; y < 3; ++y) {
        EXPECT_EQ(pixel(four, 1, y), (std::array<int, 3>{10, 20, 30}));
        EXPECT_EQ(pixel(four, 2, y), (std::array<int, 3>{40, 50, 60}));
    }
}

TEST(Picture, badInputGivesAnEmptyPicture) {
    const RgbImage good = imageOf(2, 1, {1, 2, 3, 4, 5, 6});
    EXPECT_TRUE(scaleImage(good, 0, 4).empty());
    EXPECT_TRUE(scaleImage(good, 4, -1).empty());
    EXPECT_TRUE(scaleImage(imageOf(2, 2, {1, 2, 3, 4, 5, 6}), 4, 4).empty()); // too few bytes
    EXPECT_TRUE(scaleImage(imageOf(0, 0, {}), 4, 4).empty());
    EXPECT_FALSE(holdsPicture(imageOf(2, 1, {1, 2, 3, 4, 5, 6, 7})));
    EXPECT_TRUE(captureFromImage(imageOf(-1, 2, {}), 8, 8).bgr.empty());
}

TEST(Picture, captureIsBlueGreenRedWithTheTopRowFirst) {
    // Top row red, green; bottom row blue, white.
    const RgbImage src = imageOf(2, 2, {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255});
    const CaptureBuffer buf = captureFromImage(src, 2, 2);
    ASSERT_TRUE(holdsPicture(buf));
    EXPECT_EQ(buf.bgr, (std::vector<uint8_t>{0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255}));

    const CaptureBuffer odd = captureFromImage(src, 5, 3);
    EXPECT_EQ(odd.width, 5);
    EXPECT_EQ(odd.height, 3);
    EXPECT_EQ(odd.bgr.size(), 45u); // no row padding
}

TEST(Picture, captureBufferHoldsPictureOnlyWhenConsistent) {
    CaptureBuffer b{2, 2, std::vector<uint8_t>(12)};
    EXPECT_TRUE(holdsPicture(b));
    b.bgr.push_back(0);
    EXPECT_FALSE(holdsPicture(b));
    EXPECT_FALSE(holdsPicture(CaptureBuffer{0, 0, {}}));
    EXPECT_FALSE(holdsPicture(CaptureBuffer{-2, -2, std::vector<uint8_t>(12)}));
    release(b);
    EXPECT_EQ(b.width, 0);
    EXPECT_EQ(b.height, 0);
    EXPECT_EQ(b.bgr.capacity(), 0u);
}

TEST(Picture, testPatternShowsEveryFlip) {
    const RgbImage p = makeTestPattern(1024, 768);
    ASSERT_TRUE(holdsPicture(p));
    // No flip or half turn leaves it the same, so an upside-down or mirrored
    // texture can never pass for the right one.
    EXPECT_NE(p.rgb, flippedVertically(p).rgb);
    EXPECT_NE(p.rgb, flippedHorizontally(p).rgb);
    EXPECT_NE(p.rgb, flippedVertically(flippedHorizontally(p)).rgb);

    // The quadrants by their dominant colour, away from lines and marks.
    const auto tl = pixel(p, 358, 300);
    const auto tr = pixel(p, 870, 300);
    const auto bl = pixel(p, 150, 540);
    const auto br = pixel(p, 870, 540);
    EXPECT_GT(tl[0], tl[1] + 100);
    EXPECT_GT(tr[1], tr[0] + 100);
    EXPECT_GT(bl[2], bl[0] + 100);
    EXPECT_GT(br[0] + br[1], 2 * br[2] + 200);

    // The letter at the top left is black, the arrow's tip in the middle white,
    // and the ramp at the bottom brightens to the right.
    EXPECT_EQ(pixel(p, 82, 150), (std::array<int, 3>{0, 0, 0}));
    EXPECT_EQ(pixel(p, 512, 320), (std::array<int, 3>{255, 255, 255}));
    EXPECT_LT(pixel(p, 100, 690)[0], pixel(p, 900, 690)[0]);
}

TEST(Picture, testPatternOfAnySize) {
    for (auto [w, h] : {std::pair{1, 1}, {3, 2}, {130, 66}, {2048, 16}}) {
        const RgbImage p = makeTestPattern(w, h);
        EXPECT_TRUE(holdsPicture(p)) << w << "x" << h;
    }
    EXPECT_TRUE(makeTestPattern(0, 5).empty());
}
