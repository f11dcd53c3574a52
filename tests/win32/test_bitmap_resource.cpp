// The program's resources as Windows loads them from the executable (the test
// binary is linked with kelvara.rc too), checked against the committed files.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "kelvara_version.h"
#include "resources/resource_ids.h"

namespace {

HMODULE self() {
    return GetModuleHandleA(nullptr);
}

// A committed file under resources/. The build passes the source folder as a
// Unix path; Wine reaches it on drive Z: (and on the current drive as well
// when the tests run from the build folder).
std::vector<unsigned char> sourceFile(const char* name) {
    const std::string path = std::string(KELVARA_SOURCE_DIR) + "/resources/" + name;
    for (const std::string& candidate : {path, "Z:" + path}) {
        if (std::FILE* f = std::fopen(candidate.c_str(), "rb")) {
            std::vector<unsigned char> bytes;
            unsigned char buf[4096];
            std::size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
                bytes.insert(bytes.end(), buf, buf + n);
            std::fclose(f);
            return bytes;
        }
    }
    ADD_FAILURE() << "cannot open " << path;
    return {};
}

struct RawResource {
    const unsigned char* data = nullptr;
    DWORD size = 0;
};

RawResource findRaw(WORD id, LPCSTR type) {
    RawResource raw;
    HRSRC info = FindResourceA(self(), MAKEINTRESOURCEA(id), type);
    if (info == nullptr)
        return raw;
    HGLOBAL loaded = LoadResource(self(), info);
    if (loaded == nullptr)
        return raw;
    raw.data = static_cast<const unsigned char*>(LockResource(loaded));
    raw.size = SizeofResource(self(), info);
    return raw;
}

SIZE bitmapObjectSize(WORD id) {
    SIZE size{0, 0};
    HBITMAP object = LoadBitmapA(self(), MAKEINTRESOURCEA(id));
    if (object == nullptr)
        return size;
    BITMAP description{};
    if (GetObjectA(object, sizeof description, &description) == int(sizeof description))
        size = SIZE{description.bmWidth, description.bmHeight};
    DeleteObject(object);
    return size;
}

} // namespace

TEST(BitmapResource, gdiLoadsLogoAndBannerAtTheirSizes) {
    const SIZE logo = bitmapObjectSize(IDB_LOGO);
    EXPECT_EQ(logo.cx, 128);
    EXPECT_EQ(logo.cy, 128); // positive, though the header's height is negative
    const SIZE banner = bitmapObjectSize(IDB_BANNER);
    EXPECT_EQ(banner.cx, 300);
    EXPECT_EQ(banner.cy, 45);
    EXPECT_EQ(LoadBitmapA(self(), MAKEINTRESOURCEA(9999)), nullptr);
}

TEST(BitmapResource, resourceDataIsTheFileWithoutItsFileHeader) {
    for (const auto& [id, name] : {std::pair{IDB_LOGO, "logo.bmp"}, std::pair{IDB_BANNER, "banner.bmp"}}) {
        const std::vector<unsigned char> file = sourceFile(name);
        ASSERT_GT(file.size(), 14u + 40u) << name;
        ASSERT_EQ(std::memcmp(file.data(), "BM", 2), 0) << name;
        const RawResource raw = findRaw(id, RT_BITMAP);
        ASSERT_NE(raw.data, nullptr) << name;
        ASSERT_EQ(raw.size, file.size() - 14) << name;
        EXPECT_EQ(std::memcmp(raw.data, file.data() + 14, raw.size), 0) << name;
    }
}

TEST(BitmapResource, gdiReadsTheLogosRowsInReverse) {
    // The logo stores its top row first under a positive height, which GDI
    // reads as bottom row first: its bitmap object holds every pixel of the
    // resource, with the rows the other way round. (A negative height would
    // say top-down, but Wine's LoadBitmap makes such a bitmap black.)
    const RawResource raw = findRaw(IDB_LOGO, RT_BITMAP);
    ASSERT_NE(raw.data, nullptr);
    constexpr int kSize = 128;
    constexpr std::size_t kStride = kSize * 3;
    ASSERT_GE(raw.size, 40 + kStride * kSize);
    const unsigned char* stored = raw.data + 40;

    HBITMAP object = LoadBitmapA(self(), MAKEINTRESOURCEA(IDB_LOGO));
    ASSERT_NE(object, nullptr);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kSize;
    info.bmiHeader.biHeight = -kSize; // read back top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<unsigned char> read(kStride * kSize);
    HDC screen = GetDC(nullptr);
    const int lines = GetDIBits(screen, object, 0, kSize, read.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(object);
    ASSERT_EQ(lines, kSize);

    // The test display is 24-bit, so the pixels survive exactly.
    int reversed = 0;
    int asStored = 0;
    for (int y = 0; y < kSize; ++y) {
        const unsigned char* row = read.data() + y * kStride;
        reversed += std::memcmp(row, stored + (kSize - 1 - y) * kStride, kStride) == 0;
        asStored += std::memcmp(row, stored + y * kStride, kStride) == 0;
    }
    EXPECT_EQ(reversed, kSize);
    EXPECT_LT(asStored, kSize / 2); // the picture is not its own mirror image
}

TEST(ProgramResources, nameIconAndVersion) {
    char name[64] = {};
    EXPECT_EQ(LoadStringA(self(), IDS_DESCRIPTION, name, sizeof name), 7);
    EXPECT_STREQ(name, "Kelvara");

    EXPECT_NE(LoadIconA(self(), MAKEINTRESOURCEA(IDI_KELVARA)), nullptr);
    for (const int size : {16, 32, 48}) {
        HANDLE icon = LoadImageA(self(), MAKEINTRESOURCEA(IDI_KELVARA), IMAGE_ICON, size, size, 0);
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO iconInfo{};
        ASSERT_TRUE(GetIconInfo(static_cast<HICON>(icon), &iconInfo));
        BITMAP colour{};
        GetObjectA(iconInfo.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, size);
        DeleteObject(iconInfo.hbmColor);
        DeleteObject(iconInfo.hbmMask);
        DestroyIcon(static_cast<HICON>(icon));
    }

    // The fixed part of the version resource: signature, then the project's
    // version as major.minor.patch.0.
    const RawResource version = findRaw(1, RT_VERSION);
    ASSERT_NE(version.data, nullptr);
    const DWORD signature = 0xFEEF04BD;
    const unsigned char* end = version.data + version.size;
    const unsigned char* fixed = nullptr;
    for (const unsigned char* p = version.data; p + sizeof(VS_FIXEDFILEINFO) <= end; p += 4)
        if (std::memcmp(p, &signature, 4) == 0) {
            fixed = p;
            break;
        }
    ASSERT_NE(fixed, nullptr);
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, fixed, sizeof info);
    EXPECT_EQ(info.dwFileVersionMS, MAKELONG(KELVARA_VERSION_MINOR, KELVARA_VERSION_MAJOR));
    EXPECT_EQ(info.dwFileVersionLS, MAKELONG(0, KELVARA_VERSION_PATCH));
    EXPECT_EQ(info.dwProductVersionMS, MAKELONG(KELVARA_VERSION_MINOR, KELVARA_VERSION_MAJOR));
    EXPECT_EQ(info.dwProductVersionLS, MAKELONG(0, KELVARA_VERSION_PATCH));

    // The version strings Explorer's properties show: UTF-16 in the
    // resource, beside their names.
    for (const char* name : {"FileVersion", "ProductVersion"}) {
        std::u16string wanted;
        for (const char* c = name; *c; ++c)
            wanted += static_cast<char16_t>(*c);
        const std::u16string value = u"" KELVARA_VERSION;
        const auto* text = reinterpret_cast<const char16_t*>(version.data);
        const std::u16string all(text, version.size / 2);
        const std::size_t at = all.find(wanted);
        ASSERT_NE(at, std::u16string::npos) << name;
        // Name, its terminator, padding to four bytes, then the value.
        const std::size_t valueAt = all.find(value, at + wanted.size());
        EXPECT_NE(valueAt, std::u16string::npos) << name;
        EXPECT_LE(valueAt, at + wanted.size() + 2) << name;
    }
}
