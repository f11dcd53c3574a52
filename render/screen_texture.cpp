#include "render/screen_texture.h"

#include "scene/gl.h"

namespace kelvara {

namespace {

// A texture side every OpenGL takes without scaling: a power of two within
// the implementation's limit.
bool takesAsItIs(int32_t side, GLint maxSize) {
    return side > 0 && side <= maxSize && (side & (side - 1)) == 0;
}

} // namespace

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
    // Only level 0 is ever sampled (neither filter uses mipmaps), so a size the
    // implementation takes as it is goes up as level 0 alone: building the
    // chain took longer than the upload itself, for levels never seen. The
    // mipmap builder stays for the sizes it has to scale first (not a power of
    // two, or beyond the implementation's limit), which older implementations
    // cannot take directly; its level 0 is then the scaled picture.
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (takesAsItIs(buffer.width, maxSize) && takesAsItIs(buffer.height, maxSize))
        glTexImage2D(GL_TEXTURE_2D, 0, 3, buffer.width, buffer.height, 0, GL_BGR_EXT, GL_UNSIGNED_BYTE,
                     buffer.bgr.data());
    else
        gluBuild2DMipmaps(GL_TEXTURE_2D, 3, buffer.width, buffer.height, GL_BGR_EXT, GL_UNSIGNED_BYTE,
                          buffer.bgr.data());

    release(buffer);
    return name;
}

} // namespace kelvara
