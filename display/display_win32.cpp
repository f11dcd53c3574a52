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
#include "display/display_win32.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "settings/failure_line.h"

namespace kelvara {

namespace {

static_assert(sizeof(DEVMODEA) <= sizeof(DisplayMode::platformRecord),
              "DisplayMode::platformRecord must hold a whole DEVMODEA");

// The neutral fields and their DEVMODEA bits.
constexpr struct {
    uint32_t field;
    DWORD dm;
} kFieldBits[] = {{kModeDepth, DM_BITSPERPEL},
                  {kModeWidth, DM_PELSWIDTH},
                  {kModeHeight, DM_PELSHEIGHT},
                  {kModeRate, DM_DISPLAYFREQUENCY}};

// The code's own name, for the line that reports a refusal.
const char* resultName(LONG result) {
    switch (result) {
    case DISP_CHANGE_RESTART:
        return "DISP_CHANGE_RESTART";
    case DISP_CHANGE_FAILED:
        return "DISP_CHANGE_FAILED";
    case DISP_CHANGE_BADMODE:
        return "DISP_CHANGE_BADMODE";
    case DISP_CHANGE_NOTUPDATED:
        return "DISP_CHANGE_NOTUPDATED";
    case DISP_CHANGE_BADFLAGS:
        return "DISP_CHANGE_BADFLAGS";
    case DISP_CHANGE_BADPARAM:
        return "DISP_CHANGE_BADPARAM";
    case DISP_CHANGE_BADDUALVIEW:
        return "DISP_CHANGE_BADDUALVIEW";
    default:
        return "unknown display change result";
    }
}

DisplayMode fromDevMode(const DEVMODEA& dm) {
    DisplayMode mode;
    mode.width = static_cast<int32_t>(dm.dmPelsWidth);
    mode.height = static_cast<int32_t>(dm.dmPelsHeight);
    mode.bitsPerPixel = static_cast<int32_t>(dm.dmBitsPerPel);
    mode.refreshHz = static_cast<double>(dm.dmDisplayFrequency);
    mode.fields = modeFieldsOf(dm.dmFields);
    std::memcpy(mode.platformRecord.data(), &dm, sizeof dm);
    mode.hasPlatformRecord = true;
    return mode;
}

// The record the enumeration gave, with the portable fields laid over it; a
// mode asked for as listed keeps every field the enumeration set.
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
    dm.dmDisplayFrequency = static_cast<DWORD>(std::lround(mode.refreshHz));
    if (!mode.hasPlatformRecord || (mode.fields & kModeAsListed) == 0)
        dm.dmFields = dmFieldsOf(mode.fields);
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
                      dm->dmPelsHeight, dm->dmBitsPerPel, dm->dmFields, what, resultName(result));
    else
        reportFailure("ChangeDisplaySettingsA(none) for %s: %s", what, resultName(result));
}

class Win32Display final : public DisplayBackend {
  public:
    bool enumerate(int32_t index, DisplayMode& mode) override {
        if (index < 0)
            return false;
        return enumerateInto(static_cast<DWORD>(index), mode);
    }

    bool currentMode(DisplayMode& mode) override { return enumerateInto(ENUM_CURRENT_SETTINGS, mode); }

    ModeChange change(const DisplayMode& mode, ModeScope scope) override {
        DEVMODEA dm = toDevMode(mode);
        // CDS_FULLSCREEN: for this run only, never written to the settings;
        // 0: an ordinary dynamic change.
        const bool thisRun = scope == ModeScope::ThisRun;
        const LONG result = ChangeDisplaySettingsA(&dm, thisRun ? CDS_FULLSCREEN : 0);
        traceRefusal(thisRun ? "this run" : "restore", &dm, result);
        return modeChangeOf(result);
    }

    // The mode stored in the system's settings (the registry's).
    ModeChange resetToSystemMode() override {
        const LONG result = ChangeDisplaySettingsA(nullptr, 0);
        traceRefusal("the stored mode", nullptr, result);
        return modeChangeOf(result);
    }

    void showError(const std::string& text, const char* caption) override {
        MessageBoxA(nullptr, text.c_str(), caption, MB_OK | MB_ICONERROR);
    }
};

} // namespace

uint32_t modeFieldsOf(DWORD dmFields) {
    uint32_t fields = kModeAsListed;
    for (const auto& bit : kFieldBits)
        if (dmFields & bit.dm)
            fields |= bit.field;
    return fields;
}

DWORD dmFieldsOf(uint32_t fields) {
    DWORD dm = 0;
    for (const auto& bit : kFieldBits)
        if (fields & bit.field)
            dm |= bit.dm;
    return dm;
}

ModeChange modeChangeOf(LONG result) {
    switch (result) {
    case DISP_CHANGE_SUCCESSFUL:
        return ModeChange::Done;
    case DISP_CHANGE_RESTART:
        return ModeChange::NeedsRestart;
    case DISP_CHANGE_FAILED:
        return ModeChange::Failed;
    case DISP_CHANGE_BADMODE:
        return ModeChange::BadMode;
    default:
        return ModeChange::Other;
    }
}

DisplayBackend& systemDisplay() {
    static Win32Display display;
    return display;
}

} // namespace kelvara
