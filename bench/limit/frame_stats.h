#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvara {

// What a benchmark run reports about its frames, in the statistics file's
// keys. Times in milliseconds unless named otherwise.
struct FrameSummary {
    uint64_t frames = 0;     // frames presented
    double runSeconds = 0;   // first frame presented to last
    double fps = 0;          // (frames - 1) / runSeconds; 0 with fewer than two frames
    double frameMsMean = 0;  // over the frames - 1 intervals between presents
    double frameMsMedian = 0;
    double frameMsP99 = 0;   // nearest rank: the smallest interval >= 99 % of them
    double startupMs = 0;    // process start to first frame presented
    double captureMs = 0;    // desktop capture, scaling and texture upload
    uint64_t peakRssKib = 0; // peak resident memory of the process
};

// The interval figures from the present times of a run, in seconds on one
// clock, in the order they happened. The start-up, capture and memory fields
// stay 0: they are the caller's to fill.
FrameSummary summarizeFrames(const std::vector<double>& presentSeconds);

// The statistics file's text: one key=value line per field, dot decimals.
std::string formatFrameSummary(const FrameSummary& summary);

} // namespace kelvara
