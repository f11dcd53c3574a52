// Bitmap resources of the Linux build, which has no resource section: the
// bitmap files are compiled into the program (cmake/embed_bitmap.cmake) without
// their 14-byte file header, the same bytes the Windows resource section holds.
// Provides: findBitmapResource. Only the logo is embedded; the About banner
// belongs to a Windows dialog.
#include "render/bitmap_resource.h"

#include "resources/resource_ids.h"

namespace kelvara {

// Generated from resources/logo.bmp at build time.
extern const unsigned char kEmbeddedLogo[];
extern const std::size_t kEmbeddedLogoSize;

namespace {

struct EmbeddedBitmap {
    uint16_t id;
    const unsigned char* bytes;
    const std::size_t& size;
};

const EmbeddedBitmap kEmbeddedBitmaps[] = {
    {IDB_LOGO, kEmbeddedLogo, kEmbeddedLogoSize},
};

} // namespace

bool findBitmapResource(uint16_t id, BitmapResource& out) {
    for (const EmbeddedBitmap& bitmap : kEmbeddedBitmaps) {
        if (bitmap.id != id)
            continue;
        if (bitmap.size < 12)
            return false;
        // What GDI's bitmap object would report: the header's sizes, the
        // height without the sign a top-down bitmap carries.
        const int64_t height = int32_t(bitmapField32(bitmap.bytes + 8));
        out.header = bitmap.bytes;
        out.size = bitmap.size;
        out.width = int32_t(bitmapField32(bitmap.bytes + 4));
        out.height = int32_t(height < 0 ? -height : height);
        return true;
    }
    return false;
}

} // namespace kelvara
