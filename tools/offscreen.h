#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "capture/picture.h"
#include "settings/settings.h"

namespace kelvara {

// Off-screen rendering with a software GL (native build only): the scene drawn
// exactly as the saver draws it, with no window and no display, for tests and
// pictures. The context and the run are in *_osmesa.cpp files; validateRun is
// plain arithmetic and builds everywhere.

// A GL context drawing into memory. create() makes it current on the calling
// thread; it stays current until destroyed. One at a time per thread.
class OffscreenContext {
  public:
    OffscreenContext() = default;
    ~OffscreenContext();
    OffscreenContext(const OffscreenContext&) = delete;
    OffscreenContext& operator=(const OffscreenContext&) = delete;

    // RGBA colour with a 24-bit depth buffer of width x height pixels.
    bool create(int32_t width, int32_t height, std::string& error);

    // What has been drawn, top row first (GL counts rows from the bottom).
    RgbImage read() const;

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

  private:
    void* context_ = nullptr;
    std::vector<uint8_t> colour_; // the context's RGBA colour buffer
    int32_t width_ = 0;
    int32_t height_ = 0;
};

// The largest picture side the off-screen renderer draws.
inline constexpr int32_t kMaxOffscreenSide = 8192;

// One deterministic run of the scene.
struct OffscreenRun {
    int32_t width = 1024; // output picture, pixels
    int32_t height = 768;
    Settings settings;
    uint32_t seed = 1;                 // for the scene's random generator
    double intervalMs = 1000.0 / 60.0; // the fake clock advances by this before every frame
    int32_t frames = 1;                // frames to render, counted from 1
    std::vector<int32_t> captureAt;    // frames to read back; empty: only the last
};

// Receives each picture read back; returning false stops the run with `error`.
using FrameSink = std::function<bool(int32_t frame, const RgbImage& picture, std::string& error)>;

// Checks a run's numbers: picture sides within 1..kMaxOffscreenSide, a positive
// finite interval, frames >= 1 and every capture frame within 1..frames. False
// with a reason otherwise. The texture size settings are not checked: they are
// bounded the way the saver bounds them (captureSize).
bool validateRun(const OffscreenRun& run, std::string& error);

// Runs the render thread's own loop (runRenderLoop: viewport, seed, random
// preset, scene state, logo or screen texture from `desktop` scaled to the
// capture size, frames) in an off-screen context, handing the frames asked for
// to `sink` and stopping after the last. The clock reads frame * intervalMs
// during frame `frame`, so every interval is exact. False with a reason when
// the run is invalid, no context can be made or `sink` fails.
bool renderOffscreen(const OffscreenRun& run, const RgbImage& desktop, const FrameSink& sink,
                     std::string& error);

} // namespace kelvara
