// Bitmap resources of the Windows build: the executable's own resource section
// (kelvara.rc). The resource compiler stores a bitmap file there without its
// 14-byte file header, which is exactly the layout BitmapResource describes.
// Provides: findBitmapResource. The size comes from the bitmap object GDI makes
// of the resource, so a bitmap GDI cannot load is not offered at all.
#include "render/bitmap_resource.h"

#include <windows.h>

namespace kelvara {

bool findBitmapResource(uint16_t id, BitmapResource& out) {
    HMODULE module = GetModuleHandleA(nullptr);
    HBITMAP object = LoadBitmapA(module, MAKEINTRESOURCEA(id));
    if (object == nullptr)
        return false;
    // The object only tells the size; the pixels are read from the resource.
    BITMAP description{};
    const bool described = GetObjectA(object, sizeof description, &description) == int(sizeof description);
    DeleteObject(object);
    if (!described)
        return false;

    HRSRC info = FindResourceA(module, MAKEINTRESOURCEA(id), RT_BITMAP);
    HGLOBAL loaded = info != nullptr ? LoadResource(module, info) : nullptr;
    if (loaded == nullptr)
        return false;
    const void* data = LockResource(loaded);
    if (data == nullptr)
        return false;
    out.header = static_cast<const unsigned char*>(data);
    out.size = SizeofResource(module, info);
    out.width = description.bmWidth;
    out.height = description.bmHeight;
    return true;
}

} // namespace kelvara
