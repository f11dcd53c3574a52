// The native program's command line, fed arbitrary argument words. A first
// word "XSCREENSAVER_WINDOW=..." stands for that environment variable.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cli/saver_options.h"
#include "fuzz_check.h"

using namespace kelvara;

namespace {

constexpr std::string_view kEnvPrefix = "XSCREENSAVER_WINDOW=";

bool sameSettings(const Settings& a, const Settings& b) {
    // Bitwise: NaN overrides are refused, but a stored NaN must come back too.
    return std::memcmp(&a, &b, sizeof(Settings)) == 0;
}

bool sameOptions(const ParsedOptions& a, const ParsedOptions& b) {
    const SaverOptions& x = a.options;
    const SaverOptions& y = b.options;
    if (a.ok != b.ok || a.error != b.error || x.kind != y.kind || x.window != y.window ||
        x.intoRoot != y.intoRoot || x.preview != y.preview ||
        x.run.control.waitForRetrace != y.run.control.waitForRetrace ||
        x.run.control.maxFps != y.run.control.maxFps || x.run.showFrameRate != y.run.showFrameRate ||
        x.settingsFile != y.settingsFile || x.run.overrides.size() != y.run.overrides.size())
        return false;
    for (std::size_t i = 0; i < x.run.overrides.size(); ++i) {
        const SettingOverride& o = x.run.overrides[i];
        const SettingOverride& p = y.run.overrides[i];
        if (o.field != p.field || o.intValue != p.intValue ||
            std::memcmp(&o.floatValue, &p.floatValue, sizeof(float)) != 0)
            return false;
    }
    return true;
}

void checkWindowId(const std::string& word) {
    const uint64_t id = parseWindowId(word.c_str());
    if (id == 0)
        return;
    // Only a number is a window: no blanks or signs in front of it.
    KELVARA_FUZZ_CHECK(word[0] >= '0' && word[0] <= '9');
    // A number read back from how X tools print it gives the same window.
    char text[32];
    std::snprintf(text, sizeof text, "%" PRIu64, id);
    KELVARA_FUZZ_CHECK(parseWindowId(text) == id);
    std::snprintf(text, sizeof text, "0x%" PRIx64, id);
    KELVARA_FUZZ_CHECK(parseWindowId(text) == id);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::vector<std::string> words = fuzz::splitWords(data, size);
    std::string env;
    bool haveEnv = false;
    if (!words.empty() && words.front().starts_with(kEnvPrefix)) {
        env = words.front().substr(kEnvPrefix.size());
        haveEnv = true;
        words.erase(words.begin());
    }
    // getopt permutes the vector it is given; keep our own copy of the words.
    std::vector<std::string> storage = words;
    storage.insert(storage.begin(), "kelvara");
    std::vector<char*> argv;
    for (std::string& w : storage)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(storage.size());
    const char* envText = haveEnv ? env.c_str() : nullptr;

    const ParsedOptions parsed = parseSaverOptions(argc, argv.data(), envText);
    if (parsed.ok) {
        KELVARA_FUZZ_CHECK(parsed.error.empty());
        const SaverOptions& o = parsed.options;
        KELVARA_FUZZ_CHECK(o.run.control.maxFps == kMaxFpsDisplayRate ||
                           (o.run.control.maxFps >= 0 && o.run.control.maxFps <= kMaxFpsHighest));
        if (o.kind == RunKind::IntoWindow)
            KELVARA_FUZZ_CHECK(o.intoRoot != (o.window != 0));
        else
            KELVARA_FUZZ_CHECK(!o.intoRoot && !o.preview);
        for (const SettingOverride& ov : o.run.overrides) {
            KELVARA_FUZZ_CHECK(ov.field < kSettingFields.size());
            if (kSettingFields[ov.field].type == FieldType::Float)
                KELVARA_FUZZ_CHECK(ov.floatValue == ov.floatValue); // never NaN
        }
        // What the idle watch hands each saver reads back as the same run.
        if (o.kind == RunKind::IdleWatch) {
            std::vector<std::string> child = runArguments(o);
            child.insert(child.begin(), {"kelvara", "--wayland"});
            std::vector<char*> childArgv;
            for (std::string& w : child)
                childArgv.push_back(w.data());
            childArgv.push_back(nullptr);
            const ParsedOptions saver = parseSaverOptions(static_cast<int>(child.size()), childArgv.data(), nullptr);
            KELVARA_FUZZ_CHECK(saver.ok && saver.options.kind == RunKind::Wayland);
            KELVARA_FUZZ_CHECK(saver.options.settingsFile == o.settingsFile);
            KELVARA_FUZZ_CHECK(saver.options.run.overrides.size() == o.run.overrides.size());
        }
        // Overrides last for one run only: reverting them gives the stored
        // record back exactly, whatever was overridden and how often.
        Settings stored;
        stored.x_div = 7;
        stored.Mode = 3;
        Settings run = stored;
        applyOverrides(run, o.run.overrides);
        revertOverrides(run, stored, o.run.overrides);
        KELVARA_FUZZ_CHECK(sameSettings(run, stored));
    } else {
        // One line, for one line on stderr.
        KELVARA_FUZZ_CHECK(!parsed.error.empty());
        KELVARA_FUZZ_CHECK(parsed.error.find('\n') == std::string::npos);
    }

    // The parse keeps no state between calls (getopt's globals are reset).
    std::vector<std::string> again = words;
    again.insert(again.begin(), "kelvara");
    std::vector<char*> argv2;
    for (std::string& w : again)
        argv2.push_back(w.data());
    argv2.push_back(nullptr);
    KELVARA_FUZZ_CHECK(sameOptions(parseSaverOptions(argc, argv2.data(), envText), parsed));

    for (const std::string& w : words)
        checkWindowId(w);
    if (haveEnv)
        checkWindowId(env);
    return 0;
}
