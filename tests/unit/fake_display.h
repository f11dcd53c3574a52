#pragma once

// A display for tests: it offers a fixed list of modes, answers change
// requests by a rule the test chooses, follows the requests it takes, and
// records every call. Given a real display it passes every call on to it
// instead, still recording them.

#include <functional>
#include <string>
#include <vector>

#include "display/display_modes.h"

namespace kelvara::test {

inline constexpr uint32_t kAllEnumerated = kDmBitsPerPel | kDmPelsWidth | kDmPelsHeight | kDmDisplayFrequency;

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
struct FakeDisplay : DisplayBackend {
    enum class Kind { Enumerate, Current, Change, Reset, ShowError };
    struct Call {
        Kind kind;
        int32_t index = 0;
        DisplayMode mode;
        uint32_t flags = 0;
        std::string text;
        std::string caption;
        int32_t result = 0; // of a change or reset
    };

    std::vector<DisplayMode> modes;
    DisplayMode current = mode(1280, 1024, 32, 60);
    DisplayMode stored = mode(1280, 1024, 32, 60);
    bool currentReadable = true;
    std::function<int32_t(const DisplayMode&, uint32_t)> answer = [](const DisplayMode&, uint32_t) {
        return kDispChangeSuccessful;
    };
    std::vector<Call> calls;
    // Told of every call but enumeration, as it is made.
    std::function<void(Kind)> noted;
    // When set, the display asked instead of the list and rules above.
    DisplayBackend* real = nullptr;

    bool enumerate(int32_t index, DisplayMode& m) override {
        calls.push_back({Kind::Enumerate, index, {}, 0, {}, {}});
        if (real)
            return real->enumerate(index, m);
        if (index < 0 || index >= static_cast<int32_t>(modes.size()))
            return false;
        m = modes[static_cast<std::size_t>(index)];
        return true;
    }
    bool currentMode(DisplayMode& m) override {
        note(Kind::Current);
        calls.push_back({Kind::Current, 0, {}, 0, {}, {}});
        if (real)
            return real->currentMode(m);
        if (currentReadable)
            m = current;
        return currentReadable;
    }
    int32_t change(const DisplayMode& m, uint32_t flags) override {
        note(Kind::Change);
        const int32_t result = real ? real->change(m, flags) : answer(m, flags);
        calls.push_back({Kind::Change, 0, m, flags, {}, {}, result});
        if (!real && result == kDispChangeSuccessful)
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
        if (m.fields & kDmPelsWidth)
            current.width = m.width;
        if (m.fields & kDmPelsHeight)
            current.height = m.height;
        if (m.fields & kDmBitsPerPel)
            current.bitsPerPixel = m.bitsPerPixel;
        if (m.fields & kDmDisplayFrequency)
            current.refreshHz = m.refreshHz;
    }
    int32_t resetToRegistryMode() override {
        note(Kind::Reset);
        if (real) {
            const int32_t result = real->resetToRegistryMode();
            calls.push_back({Kind::Reset, 0, {}, 0, {}, {}, result});
            return result;
        }
        calls.push_back({Kind::Reset, 0, {}, 0, {}, {}, kDispChangeSuccessful});
        current = stored;
        return kDispChangeSuccessful;
    }
    void showError(const std::string& text, const char* caption) override {
        note(Kind::ShowError);
        calls.push_back({Kind::ShowError, 0, {}, 0, text, caption});
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
