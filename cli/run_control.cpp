#include "cli/run_control.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace kelvara {

namespace {

constexpr uint64_t kMaxFrames = 1000000000000ull;

bool startsLikeANumber(const char* text) {
    return text != nullptr && *text >= '0' && *text <= '9';
}

} // namespace

bool parseRunSeconds(const char* text, double& seconds) {
    if (!startsLikeANumber(text) && !(text && text[0] == '.'))
        return false;
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !(v > 0) || v > kMaxRunSeconds)
        return false;
    seconds = v;
    return true;
}

bool parseFrameCount(const char* text, uint64_t& frames) {
    if (!startsLikeANumber(text))
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < 1 || v > kMaxFrames)
        return false;
    frames = v;
    return true;
}

bool parseMaxFps(const char* text, int& maxFps) {
    if (!startsLikeANumber(text))
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > static_cast<unsigned long>(kMaxFpsHighest))
        return false;
    maxFps = static_cast<int>(v);
    return true;
}

RunControl runControlFromEnvironment(const std::function<const char*(const char*)>& lookup,
                                     std::vector<std::string>& complaints) {
    RunControl control;
    if (const char* text = lookup("KELVARA_SECONDS"); text && *text) {
        if (!parseRunSeconds(text, control.limits.seconds))
            complaints.push_back(std::string("KELVARA_SECONDS needs seconds above 0 and up to a day, not '") +
                                 text + "'; ignored");
    }
    if (const char* text = lookup("KELVARA_FRAMES"); text && *text) {
        if (!parseFrameCount(text, control.limits.frames))
            complaints.push_back(std::string("KELVARA_FRAMES needs a whole number of frames from 1, not '") +
                                 text + "'; ignored");
    }
    if (const char* text = lookup("KELVARA_STATS"); text && *text)
        control.statsFile = text;
    if (const char* text = lookup("KELVARA_NO_VSYNC"); text && *text && std::strcmp(text, "0") != 0)
        control.waitForRetrace = false;
    if (const char* text = lookup("KELVARA_MAX_FPS"); text && *text) {
        if (!parseMaxFps(text, control.maxFps))
            complaints.push_back(std::string("KELVARA_MAX_FPS needs a whole number of frames a second from 0 "
                                             "(no cap) to 1000, not '") +
                                 text + "'; ignored");
    }
    return control;
}

RunLimiter::RunLimiter(const RunLimits& limits, std::function<void()> stop)
    : limits_(limits), stop_(std::move(stop)) {
    if (limits_.any())
        thread_ = std::thread([this] { wait(); });
}

RunLimiter::~RunLimiter() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void RunLimiter::framePresented(uint64_t frame) {
    if (limits_.frames == 0 || frame != limits_.frames)
        return;
    {
        std::lock_guard lock(mutex_);
        framesReached_ = true;
    }
    wake_.notify_all();
}

bool RunLimiter::fired() const {
    std::lock_guard lock(mutex_);
    return fired_;
}

void RunLimiter::wait() {
    std::unique_lock lock(mutex_);
    const auto done = [this] { return closing_ || framesReached_; };
    if (limits_.seconds > 0) {
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(limits_.seconds));
        wake_.wait_until(lock, deadline, done);
    } else {
        wake_.wait(lock, done);
    }
    if (closing_)
        return;
    fired_ = true;
    lock.unlock();
    stop_();
}

} // namespace kelvara
