#include "render/monitor_pictures.h"

#include <algorithm>

namespace kelvara {

namespace {

// The index in `captured` of the monitor `view` was at the capture, or -1.
std::ptrdiff_t sameMonitor(const std::vector<MonitorView>& captured, const MonitorView& view,
                           std::size_t place) {
    if (!view.name.empty())
        for (std::size_t i = 0; i < captured.size(); ++i)
            if (captured[i].name == view.name)
                return static_cast<std::ptrdiff_t>(i);
    return place < captured.size() ? static_cast<std::ptrdiff_t>(place) : -1;
}

// The picture a monitor without one of its own shows: the primary's (the
// first), or when its cut came out empty too, the first that holds one; -1
// when none does.
std::ptrdiff_t standIn(const std::vector<CaptureBuffer>& pictures) {
    const auto found = std::find_if(pictures.begin(), pictures.end(), holdsPicture);
    return found == pictures.end() ? -1 : found - pictures.begin();
}

} // namespace

std::vector<MonitorDraw> monitorDraws(const std::vector<MonitorView>& captured,
                                      std::vector<CaptureBuffer> pictures,
                                      const std::vector<MonitorView>& now) {
    // Which picture each monitor shows; one new since the capture, or one
    // whose cut showed none of the desktop, takes the primary's.
    std::vector<std::ptrdiff_t> source(now.size(), -1);
    for (std::size_t i = 0; i < now.size(); ++i) {
        source[i] = sameMonitor(captured, now[i], i);
        if (source[i] < 0 || static_cast<std::size_t>(source[i]) >= pictures.size() ||
            !holdsPicture(pictures[static_cast<std::size_t>(source[i])]))
            source[i] = standIn(pictures);
    }
    std::vector<MonitorDraw> draws(now.size());
    for (std::size_t i = 0; i < now.size(); ++i) {
        draws[i].viewport = now[i].viewport;
        if (source[i] < 0)
            continue;
        CaptureBuffer& picture = pictures[static_cast<std::size_t>(source[i])];
        const bool usedAgain = std::find(source.begin() + static_cast<std::ptrdiff_t>(i) + 1, source.end(),
                                         source[i]) != source.end();
        if (usedAgain)
            draws[i].capture = picture;
        else
            draws[i].capture = std::move(picture);
    }
    return draws;
}

} // namespace kelvara
