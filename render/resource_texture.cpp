#include "render/resource_texture.h"

#include "render/bitmap_resource.h"
#include "resources/resource_ids.h"
#include "settings/settings.h"

namespace kelvara {

ResourceTexture::~ResourceTexture() {
    if (textureName != 0)
        glDeleteTextures(1, &textureName);
}

void ResourceTexture::release() {
    if (textureName != 0)
        glDeleteTextures(1, &textureName);
    pixels = nullptr;
    loaded = 0;
    textureName = 0;
    width = 0;
    height = 0;
}

bool ResourceTexture::loadFromBitmapResource(uint16_t id) {
    loaded = 0;
    BitmapResource bitmap;
    if (!findBitmapResource(id, bitmap))
        return false;
    const unsigned char* rows = bitmapRows(bitmap);
    if (rows == nullptr)
        return false;
    pixels = bitmap.header;
    width = bitmap.width;
    height = bitmap.height;

    if (textureName != 0)
        glDeleteTextures(1, &textureName);
    glGenTextures(1, &textureName);
    glBindTexture(GL_TEXTURE_2D, textureName);
    // The rows are uploaded as stored: each padded to four bytes, as bitmap
    // rows are, and the first of them the picture's top (t = 0).
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glPixelStorei(GL_UNPACK_SKIP_ROWS, 0);
    glPixelStorei(GL_UNPACK_SKIP_PIXELS, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, width, height, GL_BGR_EXT, GL_UNSIGNED_BYTE, rows);
    loaded = 1;
    return true;
}

bool setupLogoTexture(ResourceTexture& texture, const Settings& settings) {
    if (!texture.loadFromBitmapResource(IDB_LOGO))
        return false;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, GL_MODULATE);
    const GLint filter = settings.useLinear != 0 ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    return true;
}

} // namespace kelvara
