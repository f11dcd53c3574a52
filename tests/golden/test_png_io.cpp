#include <gtest/gtest.h>

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tools/png_io.h"

using namespace kelvara;
namespace fs = std::filesystem;

namespace {

fs::path scratch(const std::string& name) {
    const fs::path dir = fs::path(KELVARA_GOLDEN_OUT_DIR) / "scratch";
    fs::create_directories(dir);
    return dir / name;
}

} // namespace

TEST(PngIo, roundTripKeepsEveryPixel) {
    // Odd sizes: rows of 111 bytes have no natural alignment.
    const RgbImage picture = makeTestPattern(37, 23);
    const fs::path path = scratch("round_trip.png");
    std::string error;
    ASSERT_TRUE(writePng(path.string(), picture, error)) << error;

    RgbImage back;
    ASSERT_TRUE(readPng(path.string(), back, error)) << error;
    EXPECT_EQ(back.width, 37);
    EXPECT_EQ(back.height, 23);
    EXPECT_EQ(back.rgb, picture.rgb);
}

TEST(PngIo, greyPicturesComeBackAsRgb) {
    // Written by libpng directly as 8-bit grey, the way other tools save.
    const uint8_t grey[] = {0, 64, 128, 255, 10, 20};
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = 3;
    png.height = 2;
    png.format = PNG_FORMAT_GRAY;
    const fs::path path = scratch("grey.png");
    ASSERT_NE(png_image_write_to_file(&png, path.string().c_str(), 0, grey, 0, nullptr), 0) << png.message;

    RgbImage back;
    std::string error;
    ASSERT_TRUE(readPng(path.string(), back, error)) << error;
    ASSERT_EQ(back.rgb.size(), 18u);
    for (std::size_t k = 0; k < 6; ++k) {
        EXPECT_EQ(back.rgb[k * 3], grey[k]);
        EXPECT_EQ(back.rgb[k * 3 + 1], grey[k]);
        EXPECT_EQ(back.rgb[k * 3 + 2], grey[k]);
    }
}

TEST(PngIo, failuresNameTheFile) {
    RgbImage image;
    std::string error;
    EXPECT_FALSE(readPng("/nonexistent/dir/picture.png", image, error));
    EXPECT_NE(error.find("/nonexistent/dir/picture.png"), std::string::npos) << error;

    const fs::path text = scratch("not_a_picture.png");
    std::ofstream(text) << "just some text, not a PNG\n";
    error.clear();
    EXPECT_FALSE(readPng(text.string(), image, error));
    EXPECT_NE(error.find(text.string()), std::string::npos) << error;
    EXPECT_TRUE(image.empty()); // untouched on failure

    error.clear();
    EXPECT_FALSE(writePng("/nonexistent/dir/out.png", makeTestPattern(4, 4), error));
    EXPECT_NE(error.find("/nonexistent/dir/out.png"), std::string::npos) << error;

    error.clear();
    const RgbImage shortImage{4, 4, std::vector<uint8_t>(47)};
    EXPECT_FALSE(writePng(scratch("short.png").string(), shortImage, error));
    EXPECT_FALSE(error.empty());
}
