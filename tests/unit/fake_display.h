#pragma once

// A display for tests: it offers a fixed list of modes, answers change
// requests by a rule the test chooses, follows the requests it takes, and
// records every call. Given a real display it passes every call on to it
// instead, still recording them. Its power state follows a script.

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "display/display_modes.h"
#include "display/display_power.h"

namespace kelvara::test {

inline constexpr uint32_t kAllEnumerated = kModeAsListed | kModeDepth | kModeWidth | kModeHeight | kModeRate;

inline DisplayMode mode(int32_t w, int32_t h, int32_t bpp, double hz, uint64_t id = 0) {
    DisplayMode m;
    m.width = w;
    m.height = h;
    m.bitsPerPixel = bpp;
    m.refreshHz = hz;
    m.platformId = id;
    m.fields = kAllEnumerated;
    return m;
}

// A display whose every change is taken unless the test says otherwise.
struct FakeDisplay : DisplayBackend, DisplayPowerSource {
    enum class Kind { Enumerate, Current, Change, Reset, ShowError, PrepareSwitch };
    struct Call {
        Kind kind;
        int32_t index = 0;
        DisplayMode mode;
        ModeScope scope = ModeScope::ThisRun;
        std::string text;
        std::string caption;
        ModeChange result = ModeChange::Done; // of a change or reset
    };

    std::vector<DisplayMode> modes;
    DisplayMode current = mode(1280, 1024, 32, 60);
    DisplayMode stored = mode(1280, 1024, 32, 60);
    bool currentReadable = true;
    std::function<ModeChange(const DisplayMode&, ModeScope)> answer = [](const DisplayMode&, ModeScope) {
        return ModeChange::Done;
    };
    std::vector<Call> calls;
    // Told of every call but enumeration, as it is made.
    std::function<void(Kind)> noted;
    // When set, the display asked instead of the list and rules above.
    DisplayBackend* real = nullptr;
    // Its power state, one entry per question (the last repeats), and when
    // each question came by a clock the test moves.
    std::vector<DisplayPower> power{DisplayPower::On};
    std::vector<double> powerAskedAt;
    double now = 0.0;

    DisplayPower displayPower() override {
        const std::size_t i = std::min(powerAskedAt.size(), power.size() - 1);
        powerAskedAt.push_back(now);
        return power[i];
    }
    // Off for the first `answers` questions, lit after.
    void darkFor(int answers) {
        power.assign(static_cast<std::size_t>(answers), DisplayPower::Off);
        power.push_back(DisplayPower::On);
    }

    bool enumerate(int32_t index, DisplayMode& m) override {
        calls.push_back({Kind::Enumerate, index, {}, {}, {}, {}});
        if (real)
            return real->enumerate(index, m);
        if (index < 0 || index >= static_cast<int32_t>(modes.size()))
            return false;
        m = modes[static_cast<std::size_t>(index)];
        return true;
    }
    bool currentMode(DisplayMode& m) override {
        note(Kind::Current);
        calls.push_back({Kind::Current, 0, {}, {}, {}, {}});
        if (real)
            return real->currentMode(m);
        if (currentReadable)
            m = current;
        return currentReadable;
    }
    ModeChange change(const DisplayMode& m, ModeScope scope) override {
        note(Kind::Change);
        const ModeChange result = real ? real->change(m, scope) : answer(m, scope);
        calls.push_back({Kind::Change, 0, m, scope, {}, {}, result});
        if (!real && result == ModeChange::Done)
            follow(m);
        return result;
    }
    // A taken request runs the listed mode it stands for, as a real display
    // does; one that names no listed mode changes the fields it applies.
    void follow(const DisplayMode& m) {
        const int32_t index = pickListedMode(modes, m, current);
        if (index >= 0) {
            current = modes[static_cast<std::size_t>(index)];
            return;
        }
        current.platformId = 0;
        if (m.fields & kModeWidth)
            current.width = m.width;
        if (m.fields & kModeHeight)
            current.height = m.height;
        if (m.fields & kModeDepth)
            current.bitsPerPixel = m.bitsPerPixel;
        if (m.fields & kModeRate)
            current.refreshHz = m.refreshHz;
    }
    ModeChange resetToSystemMode() override {
        note(Kind::Reset);
        if (real) {
            const ModeChange result = real->resetToSystemMode();
            calls.push_back({Kind::Reset, 0, {}, {}, {}, {}, result});
            return result;
        }
        calls.push_back({Kind::Reset, 0, {}, {}, {}, {}, ModeChange::Done});
        current = stored;
        return ModeChange::Done;
    }
    void prepareSwitch() override {
        note(Kind::PrepareSwitch);
        calls.push_back({Kind::PrepareSwitch, 0, {}, {}, {}, {}});
        if (real)
            real->prepareSwitch();
    }
    void showError(const std::string& text, const char* caption) override {
        note(Kind::ShowError);
        calls.push_back({Kind::ShowError, 0, {}, {}, text, caption});
    }
    void note(Kind kind) {
        if (noted)
            noted(kind);
    }

    std::vector<Call> callsOf(Kind kind) const {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.kind == kind)
                out.push_back(c);
        return out;
    }
    // The kinds of every call but enumeration, in order.
    std::vector<Kind> sequence() const {
        std::vector<Kind> out;
        for (const Call& c : calls)
            if (c.kind != Kind::Enumerate)
                out.push_back(c.kind);
        return out;
    }
};

} // namespace kelvara::test
