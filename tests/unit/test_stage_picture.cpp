#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "capture/stage_picture.h"
#include "cli/desktop_entry.h"

namespace kelvara {
namespace {

// Two rows of two pixels, stride 12 (4 bytes of padding a row holding junk):
// an opaque pixel and a half-transparent one of the same colour, r=200 g=100
// b=50, written in `format`'s byte order, premultiplied where it says so.
std::vector<uint8_t> twoByTwo(uint32_t format) {
    const bool rgba = format >= kQImageRgbx8888;
    const bool premultiplied = format == kQImageArgb32Premultiplied || format == kQImageRgba8888Premultiplied;
    std::vector<uint8_t> bytes(24, 0xAB);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 2; ++x) {
            const unsigned alpha = x == 0 ? 255 : 128;
            auto c = [&](unsigned v) { return uint8_t(premultiplied ? (v * alpha + 127) / 255 : v); };
            uint8_t* p = &bytes[std::size_t(y) * 12 + std::size_t(x) * 4];
            p[0] = rgba ? c(200) : c(50);
            p[1] = c(100);
            p[2] = rgba ? c(50) : c(200);
            p[3] = uint8_t(alpha);
        }
    }
    return bytes;
}

TEST(StagePicture, everyQImageFormatGivesTheStraightColours) {
    for (uint32_t format : {kQImageRgb32, kQImageArgb32, kQImageArgb32Premultiplied, kQImageRgbx8888,
                            kQImageRgba8888, kQImageRgba8888Premultiplied}) {
        SCOPED_TRACE(format);
        const std::vector<uint8_t> bytes = twoByTwo(format);
        RawPicture raw{bytes.data(), bytes.size(), format, 2, 2, 12};
        PackedImage image;
        std::vector<uint8_t> storage;
        std::string why;
        ASSERT_TRUE(readRawPicture(raw, image, storage, why)) << why;
        CaptureBuffer out;
        ASSERT_TRUE(scaleToCapture(image, 2, 2, out));
        for (std::size_t pixel = 0; pixel < 4; ++pixel) {
            // BGR; the divided half-transparent pixel may be one off.
            EXPECT_NEAR(out.bgr[pixel * 3 + 0], 50, pixel % 2);
            EXPECT_NEAR(out.bgr[pixel * 3 + 1], 100, pixel % 2);
            EXPECT_NEAR(out.bgr[pixel * 3 + 2], 200, pixel % 2);
        }
    }
}

TEST(StagePicture, descriptionsTheBytesDoNotHoldAreRefused) {
    const std::vector<uint8_t> bytes = twoByTwo(kQImageArgb32);
    const struct {
        uint32_t format;
        int32_t width, height, stride;
        std::size_t size;
    } cases[] = {
        {3, 2, 2, 12, 24},              // a QImage format of 1-bit pixels
        {kQImageArgb32, 2, 2, 12, 19},  // the last row cut short
        {kQImageArgb32, 2, 3, 12, 24},  // a row more than sent
        {kQImageArgb32, 4, 2, 12, 24},  // rows wider than the stride
        {kQImageArgb32, 0, 2, 12, 24},  // no width
        {kQImageArgb32, 2, 2, -12, 24}, // a negative stride
    };
    for (const auto& c : cases) {
        RawPicture raw{bytes.data(), c.size, c.format, c.width, c.height, c.stride};
        PackedImage image;
        std::vector<uint8_t> storage;
        std::string why;
        EXPECT_FALSE(readRawPicture(raw, image, storage, why))
            << c.format << " " << c.width << "x" << c.height;
        EXPECT_FALSE(why.empty());
    }
}

TEST(StagePicture, eachOutputIsCutAtThePicturesScale) {
    const ScreenRect wide{0, 0, 1024, 768}, small{1024, 0, 800, 600};
    const struct {
        std::vector<ScreenRect> outputs;
        int32_t width, height;
        std::vector<ScreenRect> cuts;
    } cases[] = {
        {{wide, small}, 1824, 768, {wide, small}},
        // The portal's picture at scale 2 (an output of scale 2 among them).
        {{wide, small}, 3648, 1536, {{0, 0, 2048, 1536}, {2048, 0, 1600, 1200}}},
        // An output left of and above the first: the stage starts there.
        {{wide, {-800, -100, 800, 600}}, 1824, 868, {{800, 100, 1024, 768}, {0, 0, 800, 600}}},
        // An output with no place stays empty; no picture, no cuts.
        {{wide, {}}, 2048, 1536, {{0, 0, 2048, 1536}, {}}},
        {{wide, small}, 0, 768, {{}, {}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(stageCuts(c.outputs, c.width, c.height), c.cuts) << c.width << "x" << c.height;
}

std::map<std::string, std::string> entryFields(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "[Desktop Entry]");
    while (std::getline(lines, line)) {
        const auto eq = line.find('=');
        EXPECT_NE(eq, std::string::npos) << line;
        EXPECT_TRUE(fields.emplace(line.substr(0, eq), line.substr(eq + 1)).second) << "twice: " << line;
    }
    return fields;
}

TEST(DesktopEntry, grantsKwinsScreenshotsToTheProgramsOwnPath) {
    const struct {
        const char* path;
        const char* exec;
    } cases[] = {
        {"/usr/bin/kelvara", "/usr/bin/kelvara"},
        {"/home/a b/build/kelvara", "\"/home/a b/build/kelvara\""},
        // Inside quotes ", `, $ and \ are escaped, and the entry's own string
        // escape doubles every backslash.
        {"/tmp/$x\\y/kelvara", "\"/tmp/\\\\$x\\\\\\\\y/kelvara\""},
    };
    for (const auto& c : cases) {
        auto fields = entryFields(captureGrantEntry(c.path));
        EXPECT_EQ(fields["Exec"], c.exec);
        EXPECT_EQ(fields["Type"], "Application");
        EXPECT_EQ(fields["NoDisplay"], "true");
        EXPECT_EQ(fields["X-KDE-DBUS-Restricted-Interfaces"], "org.kde.KWin.ScreenShot2");
        EXPECT_FALSE(fields["Name"].empty());
    }
    // One user entry per program path, never hiding the package's own.
    const std::string a = captureGrantFileName("/usr/bin/kelvara");
    const std::string b = captureGrantFileName("/home/someone/kelvara");
    EXPECT_NE(a, b);
    EXPECT_EQ(a, captureGrantFileName("/usr/bin/kelvara"));
    EXPECT_NE(a, "kelvara.desktop");
    EXPECT_EQ(a.substr(a.size() - 8), ".desktop");
}

} // namespace
} // namespace kelvara
