#pragma once

#include <string>

#include "capture/picture.h"

namespace kelvara {

// PNG files in and out (native build only; libpng). Any PNG the library reads
// (grey, palette, 16-bit, with alpha) comes back as 8-bit RGB; alpha is
// composited over black. Failures return false with a one-line reason.
bool readPng(const std::string& path, RgbImage& image, std::string& error);
bool writePng(const std::string& path, const RgbImage& image, std::string& error);

} // namespace kelvara
