#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>

namespace kelvara {

// Frames counted over half a second at a time, for a reading that stays put
// long enough to be read.
class FrameRateReading {
  public:
    // Counts a frame drawn now; the text of the last full reading ("" before
    // the first).
    const char* frame();

  private:
    int frames_ = 0;
    char text_[64] = "";
    bool started_ = false;
    std::chrono::steady_clock::time_point last_;
};

// Yellow text over the viewport set now, in window coordinates from its lower
// left corner (the caller sets the raster position): beginCornerText keeps
// every GL state it changes and endCornerText puts it back, so the scene
// never sees it.
void beginCornerText();
void endCornerText();

// Frames per second and frame time, drawn with a small font of the program's
// own (digits, '.', ' ', 'f', 'p', 's', 'm', at twice 5 x 7 pixels) through
// glBitmap: for a window system with no fonts of its own to lend GL. Keeps
// every GL state it touches, so the scene never sees it.
class FrameRateText {
  public:
    static constexpr int kGlyphRows = 14;
    static constexpr int kGlyphWidth = 10;
    static constexpr int kAdvance = 12;

    // In the lower left corner of the viewport set now; call just before the
    // present of the surface it belongs to, once a frame of that surface.
    void draw();

    // The text a reading of `frames` frames over `seconds` gives.
    static void format(char* text, std::size_t size, int frames, double seconds);

    // One glyph of the font, rows bottom first, 16 bits each (the high bit
    // leftmost): the doubled 5 x 7 glyph of `c`, blank for a character the
    // font lacks.
    static void glyph(char c, uint8_t rows[kGlyphRows * 2]);

  private:
    FrameRateReading reading_;
};

} // namespace kelvara
