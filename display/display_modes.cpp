#include "display/display_modes.h"

#include <cstdio>

namespace kelvara {

namespace {

// The failure texts, by the change result that ends the switch. Each takes
// width, height and depth as longs.
constexpr const char* kRestartText =
    "You must change your video mode to %ldx%ldx%ld-bit color and then restart\n";
constexpr const char* kBadModeText = "The video mode %ldx%ldx%ld-bit color is not supported\n";
constexpr const char* kFailedText = "Hardware failed to change to %ldx%ldx%ld-bit color\n";
constexpr const char* kUnknownText = "Failed to change to %ldx%ldx%ld-bit color - unknown reason\n";

std::string formatMode(const char* format, int32_t width, int32_t height, int32_t bitsPerPixel) {
    // Three 32-bit numbers with signs fit the longest text with room to spare.
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, format, static_cast<long>(width), static_cast<long>(height),
                  static_cast<long>(bitsPerPixel));
    return buffer;
}

void report(DisplayBackend& display, ModeChange result, int32_t width, int32_t height, int32_t bitsPerPixel) {
    display.showError(displayFailureText(result, width, height, bitsPerPixel), kDisplayErrorCaption);
}

} // namespace

std::string displayModeText(int32_t width, int32_t height, int32_t bitsPerPixel) {
    return formatMode("%ldx%ldx%ld", width, height, bitsPerPixel);
}

std::string displayFailureText(ModeChange result, int32_t width, int32_t height, int32_t bitsPerPixel) {
    const char* format = kUnknownText;
    if (result == ModeChange::NeedsRestart)
        format = kRestartText;
    else if (result == ModeChange::BadMode)
        format = kBadModeText;
    else if (result == ModeChange::Failed)
        format = kFailedText;
    return formatMode(format, width, height, bitsPerPixel);
}

int32_t pickListedMode(const std::vector<DisplayMode>& listed, const DisplayMode& asked,
                       const DisplayMode& current) {
    DisplayMode wanted = current;
    if (asked.fields & kModeWidth)
        wanted.width = asked.width;
    if (asked.fields & kModeHeight)
        wanted.height = asked.height;
    if (asked.fields & kModeDepth)
        wanted.bitsPerPixel = asked.bitsPerPixel;
    const bool rateAsked = (asked.fields & kModeRate) != 0;
    auto fits = [&](const DisplayMode& m) {
        return m.width == wanted.width && m.height == wanted.height &&
               m.bitsPerPixel == wanted.bitsPerPixel && (!rateAsked || m.refreshHz == asked.refreshHz);
    };
    const bool sizeAsked = (asked.fields & (kModeWidth | kModeHeight)) != 0;
    // A listed mode asked for as listed by its name, then the current mode
    // for a change of depth alone: a namesake of the same size and rate has
    // other timings.
    const uint64_t named = (asked.fields & kModeAsListed) ? asked.platformId : 0;
    for (const uint64_t id : {named, sizeAsked ? uint64_t{0} : current.platformId}) {
        if (id == 0)
            continue;
        for (std::size_t i = 0; i < listed.size(); ++i)
            if (listed[i].platformId == id && fits(listed[i]))
                return static_cast<int32_t>(i);
    }
    for (std::size_t i = 0; i < listed.size(); ++i)
        if (fits(listed[i]))
            return static_cast<int32_t>(i);
    return -1;
}

void listDisplayModes(DisplayBackend& display, std::vector<std::string>* comboEntries) {
    DisplayMode mode;
    for (int32_t index = 0; display.enumerate(index, mode); ++index) {
        // Palette modes of 16 colours or fewer cannot show the picture.
        if (mode.bitsPerPixel <= 4)
            continue;
        if (comboEntries)
            comboEntries->push_back(displayModeText(mode.width, mode.height, mode.bitsPerPixel));
    }
}

bool switchDisplayMode(DisplayBackend& display, int32_t width, int32_t height, int32_t bitsPerPixel) {
    // The mode to come back to is read before the first request of the first
    // switch, and kept only once a switch succeeds.
    std::optional<DisplayBackend::SavedMode> before;
    if (!display.savedMode) {
        // Assigned rather than emplace()d: clang 14 cannot default-construct a
        // nested struct with member initialisers through std::optional.
        before = DisplayBackend::SavedMode{};
        before->known = display.currentMode(before->mode);
    }
    auto succeeded = [&] {
        if (before)
            display.savedMode = before;
        return true;
    };

    // Every listed mode of this size and depth, as listed (its refresh rate
    // included), until one is taken. The first refused one is the base of
    // the fallbacks; index 0 stands for "none", so a refused mode 0 is passed
    // over for a later refused one and is the base anyway when none follows.
    int32_t fallbackIndex = 0;
    DisplayMode mode;
    for (int32_t index = 0; display.enumerate(index, mode); ++index) {
        if (mode.bitsPerPixel != bitsPerPixel || mode.width != width || mode.height != height)
            continue;
        if (display.change(mode, ModeScope::ThisRun) == ModeChange::Done)
            return succeeded();
        if (fallbackIndex == 0)
            fallbackIndex = index;
    }

    // The fallbacks keep the rest of that record (refresh rate, flags) but
    // apply only the fields each names. A display that lists no mode at all
    // gets a record of the requested size and depth alone.
    DisplayMode base;
    if (!display.enumerate(fallbackIndex, base))
        base = DisplayMode{};
    base.width = width;
    base.height = height;
    base.bitsPerPixel = bitsPerPixel;

    // Size and depth in one request: some systems take only this form.
    base.fields = kModeDepth | kModeWidth | kModeHeight;
    if (display.change(base, ModeScope::ThisRun) == ModeChange::Done)
        return succeeded();

    // Depth first, then size.
    base.fields = kModeDepth;
    ModeChange result = display.change(base, ModeScope::ThisRun);
    if (result != ModeChange::Done) {
        report(display, result, width, height, bitsPerPixel);
        return false;
    }
    base.fields = kModeWidth | kModeHeight;
    result = display.change(base, ModeScope::ThisRun);
    if (result == ModeChange::Done)
        return succeeded();
    // The depth has changed already: take it back before telling the user.
    display.resetToSystemMode();
    report(display, result, width, height, bitsPerPixel);
    return false;
}

bool restoreDisplayMode(DisplayBackend& display) {
    if (!display.savedMode)
        return true;
    const DisplayBackend::SavedMode saved = *display.savedMode;
    display.savedMode.reset();
    // The earlier mode is the user's own, not a mode for this run only.
    if (saved.known && display.change(saved.mode, ModeScope::Lasting) == ModeChange::Done)
        return true;
    display.resetToSystemMode();
    return false;
}

} // namespace kelvara
