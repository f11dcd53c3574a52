#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvara {

// What a run reports about its frames when it ends (--stats, KELVARA_STATS).
struct FrameSummary {
    uint64_t frames = 0;   // frames presented
    double runSeconds = 0; // first frame presented to the last
    double fps = 0;        // (frames - 1) / runSeconds; 0 with fewer than two frames
    double meanMs = 0;     // frame time: from one present to the next
    double medianMs = 0;
    double p99Ms = 0;
    double startupMs = -1;   // program entry to the first frame presented; -1 without a frame
    double captureMs = 0;    // desktop capture + scaling + texture upload; 0 with the logo
    uint64_t peakRssKib = 0; // peak resident memory of the process
};

// Collects frame times on the render thread, allocation-free per frame: the
// times go into a histogram of fixed bins (10 us wide up to 250 ms, 1 ms wide
// from there to 60 s, one bin beyond), so a run of any length costs the same
// memory (about 340 KiB) and the percentiles are exact to the bin width; a
// percentile in the last bin is the longest frame seen. Read summary() only once the render thread has
// ended (or before it starts): the counters are not shared while it draws.
class FrameStats {
  public:
    using Clock = std::chrono::steady_clock;

    static constexpr double kBinMs = 0.01;
    static constexpr std::size_t kBins = 25000; // fine bins: up to kBins * kBinMs = 250 ms
    static constexpr double kCoarseBinMs = 1.0;
    static constexpr std::size_t kCoarseBins = 59750; // from 250 ms to 60 s

    FrameStats();

    // Time spent taking the desktop's picture (host thread, before drawing).
    void noteCapture(double ms) { captureMs_ += ms; }
    // Time spent building the screen texture from it (render thread).
    void noteUpload(double ms) { captureMs_ += ms; }
    // Called once per frame right after it was presented.
    void framePresented(Clock::time_point now);

    FrameSummary summary() const;

  private:
    std::vector<uint32_t> bins_; // fine, then coarse; the last one counts frame times beyond 60 s
    uint64_t frames_ = 0;
    double totalMs_ = 0;
    double maxMs_ = 0;
    double captureMs_ = 0;
    Clock::time_point first_{};
    Clock::time_point last_{};
};

// When the program entered: taken by a static initialiser of this module, so
// start-up times include everything from before main() but the loading of the
// executable itself.
FrameStats::Clock::time_point programStart();

// Peak resident memory of this process in KiB; 0 when the platform cannot say.
// Provided per platform: process_memory_posix.cpp, process_memory_win32.cpp.
uint64_t peakResidentKib();

// "key=value" lines, one per figure, numbers with a dot for the decimals.
std::string formatFrameSummary(const FrameSummary& summary);

// Writes formatFrameSummary to `path` (replacing it). False with a reason
// when the file cannot be written.
bool writeFrameSummary(const std::string& path, const FrameSummary& summary, std::string& error);

// A measured duration in milliseconds between two clock readings.
inline double millisecondsBetween(FrameStats::Clock::time_point from, FrameStats::Clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

} // namespace kelvara
