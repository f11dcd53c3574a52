#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvara {

// Which fields of a DisplayMode a change request applies, as bits of
// DisplayMode::fields.
inline constexpr uint32_t kModeDepth = 1u << 0;
inline constexpr uint32_t kModeWidth = 1u << 1;
inline constexpr uint32_t kModeHeight = 1u << 2;
inline constexpr uint32_t kModeRate = 1u << 3;
// The mode exactly as the display listed it: every field the listing set,
// the platform's own among them. A request built from a listed mode with
// other fields leaves this bit out.
inline constexpr uint32_t kModeAsListed = 1u << 4;

// How long a change lasts: for this run only (the system may undo it when the
// program ends), or until it is changed again.
enum class ModeScope { ThisRun, Lasting };

// How a change request ended. Each platform maps its own codes to these and
// names its reason in its own failure line.
enum class ModeChange {
    Done,
    NeedsRestart, // the system takes the mode only after a restart
    Failed,       // the hardware or the system failed to make the change
    BadMode,      // the display does not offer the mode
    Other,        // refused for another reason
};

// The caption of every display-mode failure box.
inline constexpr const char* kDisplayErrorCaption = "SS Error";

// One mode of the primary display. Sizes in pixels, depth in bits per pixel,
// refresh rate in hertz (0 when the platform does not say), as exact as the
// platform gives it: 59.95 and 60.00 are two rates.
struct DisplayMode {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    double refreshHz = 0.0;
    // The platform's own name for a listed mode (RandR's mode id), 0 where it
    // has none. Two listed modes may agree in every field above and differ
    // in timings; this tells them apart.
    uint64_t platformId = 0;
    // kMode* bits: the fields a change request applies. The enumeration sets
    // every field it filled, and kModeAsListed.
    uint32_t fields = 0;
    // The platform's whole record as the backend filled it, opaque here. It
    // carries more than the fields above (display flags, position, ...), so a
    // request for an enumerated mode "unchanged" is exactly what the platform
    // listed; the backend lays the fields above over it when it asks.
    std::array<unsigned char, 256> platformRecord{};
    bool hasPlatformRecord = false;
};

// The display-mode calls of one platform. The switching rules below talk to
// the display only through this, so a test can hand them a display that offers
// and refuses whatever it likes.
class DisplayBackend {
  public:
    virtual ~DisplayBackend() = default;

    // Fills `mode` with the display's mode number `index` (0, 1, 2, ...) and
    // returns true, or returns false once `index` is past the last mode.
    virtual bool enumerate(int32_t index, DisplayMode& mode) = 0;

    // Fills `mode` with the mode the display runs now; false when unknown.
    virtual bool currentMode(DisplayMode& mode) = 0;

    // Asks for `mode` (the fields named by mode.fields) for `scope`.
    virtual ModeChange change(const DisplayMode& mode, ModeScope scope) = 0;

    // Gives the display back the mode the system keeps as the user's own,
    // whatever this program asked for meanwhile.
    virtual ModeChange resetToSystemMode() = 0;

    // Called once before a run's first switch, while the process has no
    // thread but its main one: a platform whose switch outlives the process
    // notes the mode to give back and starts its guard (which forks) here.
    virtual void prepareSwitch() {}

    // Shows a failure to the user: error icon, single OK button, no owner
    // window; returns once the user has closed it.
    virtual void showError(const std::string& text, const char* caption) = 0;

    // The display's mode before the first successful switch, kept by
    // switchDisplayMode for restoreDisplayMode; empty while nothing was switched.
    struct SavedMode {
        bool known = false; // false: the earlier mode could not be read
        DisplayMode mode;
    };
    std::optional<SavedMode> savedMode;
};

// The primary display of this platform (provided by the platform file).
DisplayBackend& systemDisplay();

// "800x600x16": the text of a mode as lists show it.
std::string displayModeText(int32_t width, int32_t height, int32_t bitsPerPixel);

// The failure text for a change result, formatted with the requested mode.
std::string displayFailureText(ModeChange result, int32_t width, int32_t height, int32_t bitsPerPixel);

// The index in `listed` of the mode a change request `asked` stands for, or
// -1 when none: the listed mode named by asked.platformId when the request is
// for a mode as listed (kModeAsListed) and that mode agrees with it; otherwise
// the first listed mode with the asked size, depth and rate, rates compared
// exactly. A field the request leaves out is `current`'s; a request
// that leaves the size out keeps `current` itself when it still fits.
int32_t pickListedMode(const std::vector<DisplayMode>& listed, const DisplayMode& asked,
                       const DisplayMode& current);

// Enumerates every mode of the display; when `comboEntries` is given, appends
// the text of each mode deeper than 4 bits per pixel, in enumeration order (a
// size offered at several refresh rates appears once per rate).
void listDisplayModes(DisplayBackend& display, std::vector<std::string>* comboEntries);

// Switches the display to width x height x bitsPerPixel for this run: every
// listed mode that matches exactly first, then three requests of its own.
// Returns true when the display now runs the mode; false after a failure that
// has already been shown to the user.
bool switchDisplayMode(DisplayBackend& display, int32_t width, int32_t height, int32_t bitsPerPixel);

// Puts back the mode the display had before the first successful switch, as
// a lasting change; does nothing when nothing was switched.
// Returns true when the earlier mode is back (or nothing was switched). When
// the earlier mode could not be read at the switch, or is refused now, the
// display goes back to the system's own mode (resetToSystemMode) and the
// result is false. Shows no message: the saver is closing.
bool restoreDisplayMode(DisplayBackend& display);

} // namespace kelvara
