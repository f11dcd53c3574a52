#include "gfx/screen_texture.h"

#include "scene/gl.h"

namespace kelvara {

unsigned createScreenTexture(CaptureBuffer& buffer, const Settings& settings) {
    if (!holdsPicture(buffer)) {
        release(buffer);
        return 0;
    }

    glEnable(GL_TEXTURE_2D);
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);

    const GLint filter = settings.useLinear != 0 ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    // The lit white surface colour multiplies the picture.
    glTexEnvf(GL_TEXTURE_ENV, GL_TEXTURE_ENV_MODE, static_cast<GLfloat>(GL_MODULATE));

    // Rows are packed (width * 3 bytes each), which meets the default four-byte
    // alignment only when width is a multiple of 4.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    gluBuild2DMipmaps(GL_TEXTURE_2D, 3, buffer.width, buffer.height, GL_BGR_EXT, GL_UNSIGNED_BYTE,
                      buffer.bgr.data());

    release(buffer);
    return name;
}

} // namespace kelvara
