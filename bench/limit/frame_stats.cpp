#include "frame_stats.h"

#include <algorithm>
#include <cstdio>

namespace kelvara {

FrameSummary summarizeFrames(const std::vector<double>& presentSeconds) {
    FrameSummary s;
    s.frames = presentSeconds.size();
    if (presentSeconds.size() < 2)
        return s;
    s.runSeconds = presentSeconds.back() - presentSeconds.front();
    std::vector<double> intervalsMs;
    intervalsMs.reserve(presentSeconds.size() - 1);
    for (std::size_t i = 1; i < presentSeconds.size(); ++i)
        intervalsMs.push_back(1000.0 * (presentSeconds[i] - presentSeconds[i - 1]));
    const auto n = intervalsMs.size();
    if (s.runSeconds > 0)
        s.fps = static_cast<double>(n) / s.runSeconds;
    s.frameMsMean = 1000.0 * s.runSeconds / static_cast<double>(n);
    std::sort(intervalsMs.begin(), intervalsMs.end());
    s.frameMsMedian = n % 2 == 1 ? intervalsMs[n / 2] : (intervalsMs[n / 2 - 1] + intervalsMs[n / 2]) / 2;
    // Nearest rank ceil(0.99 n), 1-based.
    const std::size_t rank = (n * 99 + 99) / 100;
    s.frameMsP99 = intervalsMs[rank - 1];
    return s;
}

std::string formatFrameSummary(const FrameSummary& s) {
    char text[512];
    // The C locale's decimal point: nothing here calls setlocale.
    std::snprintf(text, sizeof text,
                  "frames=%llu\nrun_seconds=%.3f\nfps=%.1f\nframe_ms_mean=%.3f\nframe_ms_median=%.3f\n"
                  "frame_ms_p99=%.3f\nstartup_ms=%.1f\ncapture_ms=%.1f\npeak_rss_kib=%llu\n",
                  static_cast<unsigned long long>(s.frames), s.runSeconds, s.fps, s.frameMsMean,
                  s.frameMsMedian, s.frameMsP99, s.startupMs, s.captureMs,
                  static_cast<unsigned long long>(s.peakRssKib));
    return text;
}

} // namespace kelvara
