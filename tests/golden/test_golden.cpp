// The scene rendered off-screen and compared with the stored pictures in ref/.
// To accept new pictures after an intended change of the scene, run
//     KELVARA_UPDATE_GOLDEN=1 build/native/tests/golden/kelvara_golden_tests --gtest_filter='Golden.*'
// (or scripts/update-golden) and look at every changed picture before committing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "golden_cases.h"
#include "picture_compare.h"
#include "tools/png_io.h"

using namespace kelvara;
using namespace kelvara::golden;
namespace fs = std::filesystem;

namespace {

bool updating() {
    const char* v = std::getenv("KELVARA_UPDATE_GOLDEN");
    return v != nullptr && std::string(v) == "1";
}

fs::path refPath(const std::string& name) {
    return fs::path(KELVARA_GOLDEN_REF_DIR) / (name + ".png");
}
fs::path outPath(const std::string& name) {
    return fs::path(KELVARA_GOLDEN_OUT_DIR) / (name + ".png");
}

// Renders a run and returns its last frame (or the frames it captures, in order).
std::vector<RgbImage> render(const OffscreenRun& run) {
    std::vector<RgbImage> frames;
    std::string error;
    const bool ok = renderOffscreen(
        run, goldenDesktop(),
        [&](int32_t, const RgbImage& picture, std::string&) {
            frames.push_back(picture);
            return true;
        },
        error);
    EXPECT_TRUE(ok) << error;
    return frames;
}

RgbImage renderLast(const OffscreenRun& run) {
    std::vector<RgbImage> frames = render(run);
    return frames.empty() ? RgbImage{} : frames.back();
}

RgbImage loadRef(const std::string& name) {
    RgbImage ref;
    std::string error;
    EXPECT_TRUE(readPng(refPath(name).string(), ref, error))
        << error << " (set KELVARA_UPDATE_GOLDEN=1 to create it)";
    return ref;
}

// Compares with the stored picture; on a mismatch writes the picture and a
// difference picture beside the build for a look.
void expectMatchesRef(const std::string& name, const RgbImage& picture) {
    std::string error;
    if (updating()) {
        ASSERT_TRUE(writePng(refPath(name).string(), picture, error)) << error;
        std::printf("updated %s\n", refPath(name).string().c_str());
        return;
    }
    const RgbImage ref = loadRef(name);
    const Tolerance tolerance;
    const PictureDifference d = comparePictures(ref, picture, tolerance);
    if (!matches(d, tolerance)) {
        fs::create_directories(KELVARA_GOLDEN_OUT_DIR);
        writePng(outPath(name + "_actual").string(), picture, error);
        writePng(outPath(name + "_diff").string(), differencePicture(ref, picture), error);
    }
    EXPECT_TRUE(matches(d, tolerance))
        << name << ": " << describe(d) << "; see " << outPath(name + "_actual");
}

void checkCase(const std::string& name) {
    SCOPED_TRACE(name);
    expectMatchesRef(name, renderLast(goldenRun(name)));
}

// Mean red, green, blue of a rectangle given in fractions of the picture.
std::array<double, 3> meanColour(const RgbImage& im, double u0, double v0, double u1, double v1) {
    std::array<double, 3> sum{};
    int n = 0;
    for (int32_t y = static_cast<int32_t>(v0 * im.height); y < static_cast<int32_t>(v1 * im.height); ++y)
        for (int32_t x = static_cast<int32_t>(u0 * im.width); x < static_cast<int32_t>(u1 * im.width);
             ++x, ++n)
            for (std::size_t c = 0; c < 3; ++c)
                sum[c] += im.rgb[(static_cast<std::size_t>(y) * static_cast<std::size_t>(im.width) +
                                  static_cast<std::size_t>(x)) *
                                     3 +
                                 c];
    for (double& s : sum)
        s /= n > 0 ? n : 1;
    return sum;
}

} // namespace

TEST(Golden, explodeIntactPicture) {
    checkCase("explode_intact");
}
TEST(Golden, explodeInFlight) {
    checkCase("explode_flight");
}
TEST(Golden, logoIntactPicture) {
    checkCase("logo_intact");
}
TEST(Golden, wave1) {
    checkCase("wave1");
}
TEST(Golden, wave2) {
    checkCase("wave2");
}
TEST(Golden, wave3) {
    checkCase("wave3");
}
TEST(Golden, wave4) {
    checkCase("wave4");
}

TEST(Golden, intactPictureIsUprightAndLitWhite) {
    // Independent of the stored pictures: with the camera still at zoom 1 the
    // picture faces the eye, so each quadrant of the pattern must show in its
    // own place and keep its own hue. The light is white: a tinted light or a
    // material colour that leaked through would shift the hues.
    const RgbImage p = renderLast(goldenRun("explode_intact"));
    ASSERT_FALSE(p.empty());
    // The picture covers about three quarters of the view around the centre;
    // sample inside each quadrant, away from the letter, the arrow and the ramp.
    const auto topLeft = meanColour(p, 0.36, 0.30, 0.44, 0.38);
    const auto topRight = meanColour(p, 0.60, 0.20, 0.80, 0.40);
    const auto bottomLeft = meanColour(p, 0.20, 0.55, 0.40, 0.70);
    const auto bottomRight = meanColour(p, 0.60, 0.55, 0.80, 0.70);
    EXPECT_GT(topLeft[0], 1.8 * topLeft[2]) << "red at the top left";
    EXPECT_GT(topRight[1], 1.8 * topRight[0]) << "green at the top right";
    EXPECT_GT(bottomLeft[2], 1.8 * bottomLeft[0]) << "blue at the bottom left";
    EXPECT_GT(bottomRight[0], 2.0 * bottomRight[2]) << "yellow at the bottom right";
    EXPECT_GT(bottomRight[1], 2.0 * bottomRight[2]) << "yellow at the bottom right";
    // Lit, not dark: the red quadrant keeps most of its texture brightness (200).
    EXPECT_GT(topLeft[0], 120.0);
    // Outside the picture: the cleared background.
    const auto corner = meanColour(p, 0.0, 0.0, 0.08, 0.08);
    EXPECT_LT(corner[0] + corner[1] + corner[2], 3.0);
}

TEST(Golden, sameRunTwiceGivesTheSamePicture) {
    // Two scenes one after the other in one process share nothing.
    const RgbImage first = renderLast(goldenRun("explode_flight"));
    const RgbImage second = renderLast(goldenRun("explode_flight"));
    EXPECT_EQ(first.rgb, second.rgb);
}

TEST(Golden, capturingFramesOnTheWayChangesNothing) {
    OffscreenRun run = goldenRun("wave3");
    run.captureAt = {30, 90, 60};
    const std::vector<RgbImage> frames = render(run);
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].rgb, renderLast(goldenRun("wave3")).rgb);
    OffscreenRun thirty = goldenRun("wave3");
    thirty.frames = 30;
    EXPECT_EQ(frames[0].rgb, renderLast(thirty).rgb);
}

TEST(Golden, comparisonCatchesAChangedScene) {
    if (updating())
        GTEST_SKIP() << "references are being written";
    const Tolerance tolerance;
    // Another seed launches other shards.
    OffscreenRun otherSeed = goldenRun("explode_flight");
    otherSeed.seed = 2;
    const PictureDifference seed =
        comparePictures(loadRef("explode_flight"), renderLast(otherSeed), tolerance);
    EXPECT_TRUE(seed.sameSize);
    EXPECT_FALSE(matches(seed, tolerance)) << describe(seed);
    std::printf("another seed: %s\n", describe(seed).c_str());

    // Five frames earlier the wave stands elsewhere.
    OffscreenRun earlier = goldenRun("wave1");
    earlier.frames -= 5;
    const PictureDifference time = comparePictures(loadRef("wave1"), renderLast(earlier), tolerance);
    EXPECT_FALSE(matches(time, tolerance)) << describe(time);
    std::printf("five frames earlier: %s\n", describe(time).c_str());

    // One wave formula is not another.
    const PictureDifference mode =
        comparePictures(loadRef("wave2"), renderLast(goldenRun("wave3")), tolerance);
    EXPECT_FALSE(matches(mode, tolerance)) << describe(mode);
    std::printf("another wave: %s\n", describe(mode).c_str());

    // The same scene, mirrored: orientation errors are caught.
    RgbImage mirrored = loadRef("explode_intact");
    for (int32_t y = 0; y < mirrored.height; ++y)
        for (int32_t x = 0; x < mirrored.width / 2; ++x)
            for (std::size_t c = 0; c < 3; ++c)
                std::swap(
                    mirrored.rgb[(static_cast<std::size_t>(y * mirrored.width + x)) * 3 + c],
                    mirrored.rgb[(static_cast<std::size_t>(y * mirrored.width + mirrored.width - 1 - x)) * 3 +
                                 c]);
    const PictureDifference flip = comparePictures(loadRef("explode_intact"), mirrored, tolerance);
    EXPECT_FALSE(matches(flip, tolerance)) << describe(flip);
    std::printf("mirrored: %s\n", describe(flip).c_str());
}

TEST(Golden, toleranceAcceptsRasterNoise) {
    // What the tolerance is for: a few pixels off by a lot (an edge that fell
    // the other way) and every pixel off by one or two (rounding).
    if (updating())
        GTEST_SKIP() << "references are being written";
    RgbImage noisy = loadRef("wave4");
    ASSERT_FALSE(noisy.empty());
    for (std::size_t k = 0; k < noisy.rgb.size(); ++k) {
        const int v = noisy.rgb[k] + ((k % 7 == 0) ? 2 : 0);
        noisy.rgb[k] = static_cast<uint8_t>(std::min(v, 255));
    }
    for (std::size_t px = 0; px < noisy.rgb.size() / 3; px += 500)
        noisy.rgb[px * 3] ^= 0x80;
    const Tolerance tolerance;
    const PictureDifference d = comparePictures(loadRef("wave4"), noisy, tolerance);
    EXPECT_TRUE(matches(d, tolerance)) << describe(d);
}

TEST(Golden, toolDrawsTheSamePictures) {
    // The picture tool runs the same code: its file must match the stored picture.
    if (updating())
        GTEST_SKIP() << "references are being written";
    const fs::path out = outPath("tool_wave3");
    fs::create_directories(out.parent_path());
    fs::remove(out);
    const std::string command = std::string(KELVARA_RENDER_TOOL) +
                                " --pattern --size 512x384 --seed 1 --mode 3 --frames 90"
                                " --set rotX0=-25 --set rotX1=0 --set rotY0=0 --set rotZ0=0"
                                " --set zoom0=7 --set zoom1=0 --set xyAmplitude=20 --out '" +
                                out.string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    RgbImage picture;
    std::string error;
    ASSERT_TRUE(readPng(out.string(), picture, error)) << error;
    const Tolerance tolerance;
    const PictureDifference d = comparePictures(loadRef("wave3"), picture, tolerance);
    EXPECT_TRUE(matches(d, tolerance)) << describe(d);
}

TEST(Golden, anyTextureSizeSettingStillDraws) {
    // Stored settings can hold anything; the capture size is bounded like the
    // saver's and the picture still shows (100 is not a power of two: GLU
    // rescales it; 100000 is bounded to 4096).
    const RgbImage reference = renderLast(goldenRun("explode_intact"));
    for (int32_t side : {100, 100000}) {
        OffscreenRun run = goldenRun("explode_intact");
        run.settings.screenTextureWidth = side;
        const RgbImage picture = renderLast(run);
        ASSERT_FALSE(picture.empty()) << side;
        // Same scene, another texture resolution: close in the mean, not equal.
        const Tolerance loose{48, 0.80, 8.0};
        const PictureDifference d = comparePictures(reference, picture, loose);
        EXPECT_TRUE(matches(d, loose)) << side << ": " << describe(d);
    }
    // A width of 0 becomes one texel across: one colour per row, still drawn.
    OffscreenRun thin = goldenRun("explode_intact");
    thin.settings.screenTextureWidth = 0;
    EXPECT_FALSE(renderLast(thin).empty());
}
