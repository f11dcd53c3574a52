#pragma once

#include "capture/capture_buffer.h"
#include "settings/settings.h"

namespace kelvara {

// Builds the screen texture (with its whole mipmap chain) from the captured
// picture, leaves it bound to GL_TEXTURE_2D with texturing enabled, and frees
// the buffer. Filtering follows useLinear; the picture's top row becomes t = 0.
// Rows are uploaded with a byte alignment, so any width works.
//
// Returns the texture name, or 0 when the buffer holds no whole picture (see
// holdsPicture): then no texture is made and the scene is drawn untextured.
// Requires a current GL context.
unsigned createScreenTexture(CaptureBuffer& buffer, const Settings& settings);

} // namespace kelvara
