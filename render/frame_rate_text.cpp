#include "render/frame_rate_text.h"

#include <cstdio>
#include <cstring>

#include "scene/gl.h"

namespace kelvara {

namespace {

// 5 x 7 glyphs, top row first, the low five bits of each row (bit 4 leftmost).
struct Glyph5x7 {
    char c;
    uint8_t rows[7];
};

constexpr Glyph5x7 kFont[] = {
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'f', {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08}},
    {'p', {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10}}, {'s', {0x00, 0x00, 0x0F, 0x10, 0x0E, 0x01, 0x1E}},
    {'m', {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}},
};

// Each of the five bits twice, into the top ten bits of 16.
uint16_t doubled(uint8_t row) {
    uint16_t out = 0;
    for (int bit = 4; bit >= 0; --bit) {
        const uint16_t on = (row >> bit) & 1u;
        const int at = 15 - 2 * (4 - bit);
        out = static_cast<uint16_t>(out | (on << at) | (on << (at - 1)));
    }
    return out;
}

} // namespace

void FrameRateText::glyph(char c, uint8_t rows[kGlyphRows * 2]) {
    std::memset(rows, 0, kGlyphRows * 2);
    for (const Glyph5x7& g : kFont) {
        if (g.c != c)
            continue;
        for (int r = 0; r < 7; ++r) {
            const uint16_t bits = doubled(g.rows[6 - r]); // bottom row first
            for (int twice = 0; twice < 2; ++twice) {
                rows[(2 * r + twice) * 2] = static_cast<uint8_t>(bits >> 8);
                rows[(2 * r + twice) * 2 + 1] = static_cast<uint8_t>(bits & 0xFF);
            }
        }
        return;
    }
}

void FrameRateText::format(char* text, std::size_t size, int frames, double seconds) {
    if (frames <= 0 || seconds <= 0.0) {
        std::snprintf(text, size, "0.0 fps");
        return;
    }
    std::snprintf(text, size, "%.1f fps  %.2f ms", frames / seconds, 1000.0 * seconds / frames);
}

const char* FrameRateReading::frame() {
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
        started_ = true;
        last_ = now;
    }
    ++frames_;
    const double seconds = std::chrono::duration<double>(now - last_).count();
    if (seconds >= 0.5) { // a steady reading, twice a second
        FrameRateText::format(text_, sizeof text_, frames_, seconds);
        frames_ = 0;
        last_ = now;
    }
    return text_;
}

void beginCornerText() {
    GLint viewport[4] = {0, 0, 1, 1};
    glGetIntegerv(GL_VIEWPORT, viewport);
    glPushAttrib(GL_ALL_ATTRIB_BITS);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0, viewport[2], 0, viewport[3], -1, 1);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_LIGHTING);
    glDisable(GL_TEXTURE_2D);
    glDisable(GL_DEPTH_TEST);
    glColor3f(1.0f, 1.0f, 0.0f);
}

void endCornerText() {
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    glPopAttrib();
}

void FrameRateText::draw() {
    const char* text = reading_.frame();
    beginCornerText();
    glPushClientAttrib(GL_CLIENT_PIXEL_STORE_BIT);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glRasterPos2i(8, 8);
    uint8_t rows[kGlyphRows * 2];
    for (const char* c = text; *c; ++c) {
        glyph(*c, rows);
        glBitmap(kGlyphWidth, kGlyphRows, 0, 0, kAdvance, 0, rows);
    }
    glPopClientAttrib();
    endCornerText();
}

} // namespace kelvara
