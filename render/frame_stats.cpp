#include "render/frame_stats.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace kelvara {

namespace {

const FrameStats::Clock::time_point kProgramStart = FrameStats::Clock::now();

constexpr double kFineEndMs = FrameStats::kBins * FrameStats::kBinMs;
constexpr std::size_t kAllBins = FrameStats::kBins + FrameStats::kCoarseBins;

// The bin of a frame time; NaN and anything past the coarse bins land in the
// last one.
std::size_t binOf(double ms) {
    if (ms >= 0 && ms < kFineEndMs)
        return static_cast<std::size_t>(ms / FrameStats::kBinMs);
    const double coarse = (ms - kFineEndMs) / FrameStats::kCoarseBinMs;
    if (coarse >= 0 && coarse < static_cast<double>(FrameStats::kCoarseBins))
        return FrameStats::kBins + static_cast<std::size_t>(coarse);
    return kAllBins;
}

// The centre of a bin in milliseconds.
double centreOf(std::size_t bin) {
    if (bin < FrameStats::kBins)
        return (static_cast<double>(bin) + 0.5) * FrameStats::kBinMs;
    return kFineEndMs + (static_cast<double>(bin - FrameStats::kBins) + 0.5) * FrameStats::kCoarseBinMs;
}

// Nearest-rank percentile over the histogram, reported as the centre of the
// bin it falls in (the last bin: the longest frame seen).
double percentileMs(const std::vector<uint32_t>& bins, uint64_t count, double maxMs, double fraction) {
    if (count == 0)
        return 0;
    auto rank = static_cast<uint64_t>(std::ceil(fraction * static_cast<double>(count)));
    if (rank < 1)
        rank = 1;
    uint64_t seen = 0;
    for (std::size_t i = 0; i < kAllBins; ++i) {
        seen += bins[i];
        if (seen >= rank)
            return centreOf(i);
    }
    return maxMs;
}

} // namespace

FrameStats::Clock::time_point programStart() {
    return kProgramStart;
}

FrameStats::FrameStats() : bins_(kAllBins + 1, 0) {}

void FrameStats::framePresented(Clock::time_point now) {
    if (frames_ == 0) {
        first_ = now;
    } else {
        const double ms = millisecondsBetween(last_, now);
        ++bins_[binOf(ms)];
        totalMs_ += ms;
        if (ms > maxMs_)
            maxMs_ = ms;
    }
    last_ = now;
    ++frames_;
}

FrameSummary FrameStats::summary() const {
    FrameSummary s;
    s.frames = frames_;
    s.captureMs = captureMs_;
    s.peakRssKib = peakResidentKib();
    if (frames_ == 0)
        return s;
    s.startupMs = millisecondsBetween(kProgramStart, first_);
    const uint64_t intervals = frames_ - 1;
    if (intervals == 0)
        return s;
    s.runSeconds = millisecondsBetween(first_, last_) / 1000.0;
    s.fps = s.runSeconds > 0 ? static_cast<double>(intervals) / s.runSeconds : 0;
    s.meanMs = totalMs_ / static_cast<double>(intervals);
    s.medianMs = percentileMs(bins_, intervals, maxMs_, 0.5);
    s.p99Ms = percentileMs(bins_, intervals, maxMs_, 0.99);
    return s;
}

std::string formatFrameSummary(const FrameSummary& s) {
    char text[512];
    std::snprintf(text, sizeof text,
                  "frames=%llu\nrun_seconds=%.3f\nfps=%.1f\nframe_ms_mean=%.3f\nframe_ms_median=%.3f\n"
                  "frame_ms_p99=%.3f\nstartup_ms=%.1f\ncapture_ms=%.1f\npeak_rss_kib=%llu\n",
                  static_cast<unsigned long long>(s.frames), s.runSeconds, s.fps, s.meanMs, s.medianMs,
                  s.p99Ms, s.startupMs, s.captureMs, static_cast<unsigned long long>(s.peakRssKib));
    // The figures are read by scripts: a locale with a decimal comma must not
    // change them. The program never sets one, but a library might.
    if (const lconv* l = std::localeconv();
        l && l->decimal_point && std::strcmp(l->decimal_point, ".") != 0) {
        const char comma = l->decimal_point[0];
        for (char* c = text; *c; ++c)
            if (*c == comma)
                *c = '.';
    }
    return text;
}

bool writeFrameSummary(const std::string& path, const FrameSummary& summary, std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    const std::string text = formatFrameSummary(summary);
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    if (!written || !closed) {
        error = path + ": cannot write the statistics";
        return false;
    }
    return true;
}

} // namespace kelvara
