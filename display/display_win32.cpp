// Display modes on Windows: the primary display through EnumDisplaySettingsA
// and ChangeDisplaySettingsA, failure boxes through MessageBoxA.
//
// Provides: systemDisplay(), the one backend of the process, for listing,
// switching and restoring modes.
// Limits: the primary display only (no device name is ever passed); changes
// are made for this run (CDS_FULLSCREEN) and never written to the system's
// settings; not thread-safe, call from the main thread. A refused change is
// named by its DISP_CHANGE_* code on the debugger's output only; the user sees
// the message box of the switching rules and nothing else.
#include "display/display_modes.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

#include "settings/failure_line.h"

namespace kelvara {

namespace {

static_assert(sizeof(DEVMODEA) <= sizeof(DisplayMode::platformRecord),
              "DisplayMode::platformRecord must hold a whole DEVMODEA");
static_assert(kDmBitsPerPel == DM_BITSPERPEL && kDmPelsWidth == DM_PELSWIDTH &&
              kDmPelsHeight == DM_PELSHEIGHT && kDmDisplayFrequency == DM_DISPLAYFREQUENCY);
static_assert(kCdsFullscreen == CDS_FULLSCREEN);
static_assert(kDispChangeSuccessful == DISP_CHANGE_SUCCESSFUL && kDispChangeRestart == DISP_CHANGE_RESTART &&
              kDispChangeFailed == DISP_CHANGE_FAILED && kDispChangeBadMode == DISP_CHANGE_BADMODE);

DisplayMode fromDevMode(const DEVMODEA& dm) {
    DisplayMode mode;
    mode.width = static_cast<int32_t>(dm.dmPelsWidth);
    mode.height = static_cast<int32_t>(dm.dmPelsHeight);
    mode.bitsPerPixel = static_cast<int32_t>(dm.dmBitsPerPel);
    mode.refreshHz = static_cast<int32_t>(dm.dmDisplayFrequency);
    mode.fields = dm.dmFields;
    std::memcpy(mode.platformRecord.data(), &dm, sizeof dm);
    mode.hasPlatformRecord = true;
    return mode;
}

// The record the enumeration gave, with the portable fields laid over it.
DEVMODEA toDevMode(const DisplayMode& mode) {
    DEVMODEA dm;
    std::memset(&dm, 0, sizeof dm);
    if (mode.hasPlatformRecord)
        std::memcpy(&dm, mode.platformRecord.data(), sizeof dm);
    dm.dmSize = sizeof dm;
    dm.dmDriverExtra = 0; // the driver's private bytes after the record are not kept
    dm.dmPelsWidth = static_cast<DWORD>(mode.width);
    dm.dmPelsHeight = static_cast<DWORD>(mode.height);
    dm.dmBitsPerPel = static_cast<DWORD>(mode.bitsPerPixel);
    dm.dmDisplayFrequency = static_cast<DWORD>(mode.refreshHz);
    dm.dmFields = mode.fields;
    return dm;
}

bool enumerateInto(DWORD index, DisplayMode& mode) {
    DEVMODEA dm;
    std::memset(&dm, 0, sizeof dm);
    dm.dmSize = sizeof dm;
    if (!EnumDisplaySettingsA(nullptr, index, &dm))
        return false;
    mode = fromDevMode(dm);
    return true;
}

void traceRefusal(const char* what, const DEVMODEA* dm, LONG result) {
    if (result == DISP_CHANGE_SUCCESSFUL)
        return;
    if (dm)
        reportFailure("ChangeDisplaySettingsA(%lux%lux%lu, fields 0x%lx) for %s: %s", dm->dmPelsWidth,
                      dm->dmPelsHeight, dm->dmBitsPerPel, dm->dmFields, what,
                      displayChangeResultName(result));
    else
        reportFailure("ChangeDisplaySettingsA(none) for %s: %s", what, displayChangeResultName(result));
}

class Win32Display final : public DisplayBackend {
  public:
    bool enumerate(int32_t index, DisplayMode& mode) override {
        if (index < 0)
            return false;
        return enumerateInto(static_cast<DWORD>(index), mode);
    }

    bool currentMode(DisplayMode& mode) override { return enumerateInto(ENUM_CURRENT_SETTINGS, mode); }

    int32_t change(const DisplayMode& mode, uint32_t flags) override {
        DEVMODEA dm = toDevMode(mode);
        const LONG result = ChangeDisplaySettingsA(&dm, flags);
        traceRefusal(flags == CDS_FULLSCREEN ? "this run" : "restore", &dm, result);
        return static_cast<int32_t>(result);
    }

    int32_t resetToRegistryMode() override {
        const LONG result = ChangeDisplaySettingsA(nullptr, 0);
        traceRefusal("the stored mode", nullptr, result);
        return static_cast<int32_t>(result);
    }

    void showError(const std::string& text, const char* caption) override {
        MessageBoxA(nullptr, text.c_str(), caption, MB_OK | MB_ICONERROR);
    }
};

} // namespace

DisplayBackend& systemDisplay() {
    static Win32Display display;
    return display;
}

} // namespace kelvara
