#pragma once

#include <cstdint>

#include "scene/gl.h"

namespace kelvara {

struct Settings;

// A texture made from a bitmap among the program's own resources. Every GL
// call here needs the context current on the calling thread (the render
// thread's).
struct ResourceTexture {
    // The resource's data: its 40-byte bitmap header, then the rows. Owned by
    // the platform's resource loader, never freed; null until loaded.
    const unsigned char* pixels = nullptr;
    int32_t loaded = 0;     // 1 once the texture was built
    GLuint textureName = 0; // 0 while there is no texture object
    int32_t width = 0;      // pixels
    int32_t height = 0;     // pixels

    ResourceTexture() = default;
    ResourceTexture(const ResourceTexture&) = delete;
    ResourceTexture& operator=(const ResourceTexture&) = delete;
    // Deletes the texture object, if any.
    ~ResourceTexture();

    // Builds the texture, with all its mipmap levels, from bitmap `id` and
    // leaves it bound to GL_TEXTURE_2D. False, with `loaded` 0 and no texture
    // made, when the bitmap is missing or not the 24-bit layout the upload
    // expects. A texture made by an earlier load is deleted first.
    bool loadFromBitmapResource(uint16_t id);

    // Deletes the texture object now and empties the record. The render thread
    // calls this before it deletes its context; the destructor then has
    // nothing left to do on a thread without one.
    void release();
};

// The logo, shown in place of the desktop picture when the setting useOGL is
// on, is a ResourceTexture of the render loop's own (render_thread.cpp), made
// and released on the render thread while its context is current. A process
// that ends without waiting for that thread never unwinds its stack, so the
// texture is never deleted on a thread without the context.

// Builds the logo (bitmap IDB_LOGO) into `texture` and gives it its
// parameters: repeating in both directions, modulated by the lit surface
// colour, linear or nearest filtering by the setting useLinear. False, with
// no parameters set, when the logo could not be loaded; the scene is then
// drawn untextured.
bool setupLogoTexture(ResourceTexture& texture, const Settings& settings);

} // namespace kelvara
