// Command line of the off-screen picture tool, read with getopt_long.
#include "tools/render_options.h"

#include <getopt.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "settings/setting_text.h"

namespace kelvara {

namespace {

constexpr int32_t kMaxFrames = 1000000;

enum OptionId {
    kOptSize = 1000,
    kOptPicture,
    kOptPattern,
    kOptMode,
    kOptSet,
    kOptSeed,
    kOptInterval,
    kOptFrames,
    kOptAt,
    kOptOut,
    kOptHelp,
};

const option kLongOptions[] = {
    {"size", required_argument, nullptr, kOptSize},
    {"picture", required_argument, nullptr, kOptPicture},
    {"pattern", no_argument, nullptr, kOptPattern},
    {"mode", required_argument, nullptr, kOptMode},
    {"set", required_argument, nullptr, kOptSet},
    {"seed", required_argument, nullptr, kOptSeed},
    {"interval-ms", required_argument, nullptr, kOptInterval},
    {"frames", required_argument, nullptr, kOptFrames},
    {"at", required_argument, nullptr, kOptAt},
    {"out", required_argument, nullptr, kOptOut},
    {"help", no_argument, nullptr, kOptHelp},
    {nullptr, 0, nullptr, 0},
};

// Whole-string parses: trailing text, overflow and empty input all fail.
bool parseLong(const char* text, long long low, long long high, long long& value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < low || v > high) {
        return false;
    }
    value = v;
    return true;
}

bool parseInt32(const char* text, int32_t& value) {
    long long v = 0;
    if (!parseLong(text, INT32_MIN, INT32_MAX, v)) {
        return false;
    }
    value = static_cast<int32_t>(v);
    return true;
}

bool parseFinite(const char* text, double& value) {
    if (text == nullptr || *text == '\0') {
        return false;
    }
    errno = 0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v)) {
        return false;
    }
    value = v;
    return true;
}

bool parseSize(const std::string& text, int32_t& width, int32_t& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) {
        return false;
    }
    return parseInt32(text.substr(0, x).c_str(), width) && parseInt32(text.substr(x + 1).c_str(), height);
}

bool parseFrameList(const std::string& text, std::vector<int32_t>& frames) {
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        int32_t frame = 0;
        if (!parseInt32(text.substr(start, comma - start).c_str(), frame)) {
            return false;
        }
        frames.push_back(frame);
        start = comma + 1;
    }
    return !frames.empty();
}

std::string quoted(const char* text) {
    return std::string("'") + (text != nullptr ? text : "") + "'";
}

} // namespace

bool applyRenderSetting(Settings& settings, const std::string& assignment, std::string& error) {
    const std::size_t eq = assignment.find('=');
    if (eq == std::string::npos) {
        error = "--set wants name=value, not '" + assignment + "'";
        return false;
    }
    const std::string name = assignment.substr(0, eq);
    const std::string value = assignment.substr(eq + 1);
    for (const SettingField& field : kSettingFields) {
        if (name != field.name) {
            continue;
        }
        int32_t whole = 0;
        float number = 0;
        if (!parseSettingValue(field, value.c_str(), whole, number)) {
            error = "setting " + name +
                    (field.type == FieldType::Int ? " wants a whole number" : " wants a number") + ", not '" +
                    value + "'";
            return false;
        }
        if (field.type == FieldType::Int)
            setIntField(settings, field, whole);
        else
            setFloatField(settings, field, number);
        return true;
    }
    error = "unknown setting '" + name + "' (try --help)";
    return false;
}

std::string renderOutputPath(const std::string& pattern, int32_t frame) {
    std::string out;
    int placeholders = 0;
    for (std::size_t k = 0; k < pattern.size(); ++k) {
        if (pattern[k] != '%') {
            out += pattern[k];
            continue;
        }
        if (k + 1 < pattern.size() && pattern[k + 1] == '%') {
            out += '%';
            ++k;
            continue;
        }
        // %d or %0Nd, N of one or two digits.
        std::size_t j = k + 1;
        int width = 0;
        if (j < pattern.size() && pattern[j] == '0') {
            ++j;
            const std::size_t digits = j;
            while (j < pattern.size() && j - digits < 2 && pattern[j] >= '0' && pattern[j] <= '9') {
                width = width * 10 + (pattern[j] - '0');
                ++j;
            }
            if (j == digits) {
                return {};
            }
        }
        if (j >= pattern.size() || pattern[j] != 'd') {
            return {};
        }
        std::string number = std::to_string(frame);
        if (static_cast<int>(number.size()) < width) {
            number.insert(0, static_cast<std::size_t>(width) - number.size(), '0');
        }
        out += number;
        ++placeholders;
        k = j;
    }
    return placeholders == 1 ? out : std::string{};
}

namespace {

// What the command line gave besides the options themselves.
struct RenderScan {
    RenderOptions result;
    bool framesGiven = false;
    bool patternGiven = false;
    bool modeGiven = false;
    int32_t mode = 0;
    std::vector<std::string> assignments;
};

// One option with its value; false with the reason when it is refused.
bool takeRenderOption(RenderScan& scan, int id, const char* arg, int argc, char** argv, std::string& error) {
    RenderOptions& result = scan.result;
    switch (id) {
    case kOptSize:
        if (!parseSize(arg, result.run.width, result.run.height)) {
            error = "--size wants WIDTHxHEIGHT, not " + quoted(arg);
            return false;
        }
        return true;
    case kOptPicture:
        result.picture = arg;
        return true;
    case kOptPattern:
        scan.patternGiven = true;
        return true;
    case kOptMode:
        if (!parseInt32(arg, scan.mode)) {
            error = "--mode wants a whole number, not " + quoted(arg);
            return false;
        }
        scan.modeGiven = true;
        return true;
    case kOptSet:
        scan.assignments.emplace_back(arg);
        return true;
    case kOptSeed: {
        long long seed = 0;
        if (!parseLong(arg, 0, UINT32_MAX, seed)) {
            error = "--seed wants a whole number from 0 to 4294967295, not " + quoted(arg);
            return false;
        }
        result.run.seed = static_cast<uint32_t>(seed);
        return true;
    }
    case kOptInterval:
        if (!parseFinite(arg, result.run.intervalMs) || result.run.intervalMs <= 0.0) {
            error = "--interval-ms wants a positive number, not " + quoted(arg);
            return false;
        }
        return true;
    case kOptFrames: {
        long long frames = 0;
        if (!parseLong(arg, 1, kMaxFrames, frames)) {
            error = "--frames wants a whole number from 1 to " + std::to_string(kMaxFrames) + ", not " +
                    quoted(arg);
            return false;
        }
        result.run.frames = static_cast<int32_t>(frames);
        scan.framesGiven = true;
        return true;
    }
    case kOptAt:
        result.run.captureAt.clear();
        if (!parseFrameList(arg, result.run.captureAt)) {
            error = "--at wants frame numbers separated by commas, not " + quoted(arg);
            return false;
        }
        return true;
    case kOptOut:
        result.out = arg;
        return true;
    case kOptHelp:
    case 'h':
        result.help = true;
        return true;
    case ':':
        error = std::string("option ") + (optind > 0 && optind <= argc ? argv[optind - 1] : "?") +
                " wants a value";
        return false;
    default:
        error = std::string("unknown option ") +
                quoted(optind > 0 && optind <= argc ? argv[optind - 1] : "?") + " (try --help)";
        return false;
    }
}

// The settings and the checks that need every option seen.
bool finishRenderOptions(RenderScan& scan, std::string& error) {
    RenderOptions& result = scan.result;
    // --mode is the more specific word, so it wins over a --set Mode=...
    // wherever either stands.
    for (const std::string& a : scan.assignments) {
        if (!applyRenderSetting(result.run.settings, a, error)) {
            return false;
        }
    }
    if (scan.modeGiven) {
        result.run.settings.Mode = scan.mode;
    }
    if (scan.patternGiven && !result.picture.empty()) {
        error = "give either --picture or --pattern, not both";
        return false;
    }
    if (result.out.empty()) {
        error = "no output file (--out FILE.png)";
        return false;
    }
    if (!result.run.captureAt.empty()) {
        if (!scan.framesGiven) {
            result.run.frames = *std::max_element(result.run.captureAt.begin(), result.run.captureAt.end());
        }
        if (renderOutputPath(result.out, 1).empty()) {
            error = "with --at, --out needs one %d (or %0Nd) for the frame number";
            return false;
        }
    }
    return validateRun(result.run, error);
}

} // namespace

bool parseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& error) {
    RenderScan scan;
    opterr = 0; // our own messages, one line each
    optind = 0; // restart the scan (0 also resets GNU getopt's internal state)
    for (;;) {
        int index = -1;
        const int id = getopt_long(argc, argv, ":h", kLongOptions, &index);
        if (id == -1) {
            break;
        }
        if (!takeRenderOption(scan, id, optarg, argc, argv, error)) {
            return false;
        }
    }
    if (scan.result.help) {
        options = scan.result;
        return true;
    }
    if (optind < argc) {
        error = "unexpected argument " + quoted(argv[optind]) + " (try --help)";
        return false;
    }
    if (!finishRenderOptions(scan, error)) {
        return false;
    }
    options = scan.result;
    return true;
}

std::string renderHelpText() {
    std::string text = "Usage: kelvara-render [OPTION]... --out FILE.png\n"
                       "Renders the scene off-screen (no window, no display) with a fixed seed and\n"
                       "frame interval, and writes PNG pictures of chosen frames.\n"
                       "\n"
                       "  --size WxH          picture size in pixels (default 1024x768)\n"
                       "  --picture FILE.png  the picture shown as the desktop, any size\n"
                       "  --pattern           the built-in test pattern as the desktop (the default)\n"
                       "  --mode N            0 Explode, 1 Wave1, 2 Wave2, 3 Wave3, 4 the fourth wave\n"
                       "  --set NAME=VALUE    any setting by name (repeatable; see below)\n"
                       "  --seed S            seed of the scene's random generator (default 1)\n"
                       "  --interval-ms MS    time between frames in milliseconds (default 16.667)\n"
                       "  --frames N          frames to render; the last one is written (default 1)\n"
                       "  --at N,N,...        write these frames instead; --out then holds %d or %0Nd\n"
                       "                      for the frame number (frames defaults to the largest)\n"
                       "  --out FILE.png      the picture to write\n"
                       "  -h, --help          show this help and exit\n"
                       "\n"
                       "Frames count from 1. In Explode the first frame is empty and the second shows\n"
                       "the intact picture; in a wave mode the first frame is flat.\n"
                       "--mode is applied after every --set.\n"
                       "\n"
                       "Settings (name, type, default):\n";
    for (const SettingField& field : kSettingFields) {
        std::string line = "  ";
        line += field.name;
        line.resize(std::max<std::size_t>(line.size() + 1, 24), ' ');
        line += field.type == FieldType::Float ? "float  " : "int    ";
        line += std::to_string(field.defaultValue);
        text += line + "\n";
    }
    text += "\nExit status: 0 on success, 1 when rendering or a file fails, 2 for a bad command line.\n";
    return text;
}

} // namespace kelvara
