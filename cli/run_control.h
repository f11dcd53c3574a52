#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "render/frame_pacer.h"

namespace kelvara {

// Limits that end a run by itself, for measurements and unattended tests.
// Zero means no limit.
struct RunLimits {
    double seconds = 0;  // from the start of drawing
    uint64_t frames = 0; // frames presented
    bool any() const { return seconds > 0 || frames > 0; }
};

// A run's measuring wishes: limits, where to write the statistics, and
// whether to wait for the vertical retrace.
struct RunControl {
    RunLimits limits;
    std::string statsFile; // empty: no statistics
    bool waitForRetrace = true;
    int maxFps = kMaxFpsDisplayRate; // frames a second at most; 0: no cap
};

// The longest run a limit may ask for: a day. Longer is a typing error.
inline constexpr double kMaxRunSeconds = 86400;

// Whole-text parses of a seconds value (decimal, > 0, at most a day) and a
// frame count (1 .. 10^12). False for anything else: empty, signs, trailing
// text, NaN, infinity, overflow.
bool parseRunSeconds(const char* text, double& seconds);
bool parseFrameCount(const char* text, uint64_t& frames);
// A frame-rate cap: a whole number from 0 (no cap) to 1000.
bool parseMaxFps(const char* text, int& maxFps);

// The Windows build's measuring wishes, from the environment, since the system
// fixes its command line: KELVARA_SECONDS, KELVARA_FRAMES, KELVARA_STATS,
// KELVARA_NO_VSYNC (any value but empty or "0" turns the wait off) and
// KELVARA_MAX_FPS (0 for no cap). A bad value
// is left out and described in `complaints`, one line each.
RunControl runControlFromEnvironment(const std::function<const char*(const char*)>& lookup,
                                     std::vector<std::string>& complaints);

// Ends a run when a limit is reached: `stop` is called once, from a thread of
// the limiter's own, when the deadline passes or when the frame count given to
// framePresented reaches the limit, whichever comes first. `stop` must be safe
// to call from another thread (posting a message, writing to a pipe). The
// deadline holds even when no frame is ever drawn.
class RunLimiter {
  public:
    RunLimiter(const RunLimits& limits, std::function<void()> stop);
    ~RunLimiter(); // stops waiting; never calls `stop` after it returns
    RunLimiter(const RunLimiter&) = delete;
    RunLimiter& operator=(const RunLimiter&) = delete;

    // From the render thread after every frame; cheap when no frame limit is set.
    void framePresented(uint64_t frame);

    bool fired() const;

  private:
    void wait();

    RunLimits limits_;
    std::function<void()> stop_;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool framesReached_ = false;
    bool closing_ = false;
    bool fired_ = false;
    std::thread thread_;
};

} // namespace kelvara
