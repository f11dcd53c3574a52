#pragma once

#include <cstdint>
#include <vector>

namespace kelvara {

// The desktop picture on its way from the capture (main thread) to the screen
// texture (render thread). Rows run from the top of the screen to the bottom,
// each row `width` pixels left to right with no padding, each pixel three bytes
// blue, green, red: bgr.size() == width * height * 3 whenever it holds a picture.
struct CaptureBuffer {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> bgr;
};

// True when the buffer holds a whole picture: positive sizes and exactly
// width * height * 3 bytes. Anything else must not be handed to GL.
inline bool holdsPicture(const CaptureBuffer& buffer) {
    if (buffer.width <= 0 || buffer.height <= 0) {
        return false;
    }
    const auto bytes = static_cast<uint64_t>(buffer.width) * static_cast<uint64_t>(buffer.height) * 3u;
    return buffer.bgr.size() == bytes;
}

// How a capture for the saver came out.
enum class CaptureOutcome {
    Taken,  // the buffer holds the picture
    Failed, // no picture; the reason is on stderr, the caller says what it does instead
    Logo,   // no picture, by the user's choice or for want of one: one stderr line
            // has said the logo is shown instead, and the caller adds nothing
};

// Gives the memory back and marks the buffer empty.
inline void release(CaptureBuffer& buffer) {
    buffer.bgr.clear();
    buffer.bgr.shrink_to_fit();
    buffer.width = 0;
    buffer.height = 0;
}

} // namespace kelvara
