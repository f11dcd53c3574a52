// The Windows host's command-line decision, fed arbitrary text: the whole
// command line as the system hands it over, and the same text split into
// argument words as a POSIX shell would pass them.
#include <cstring>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "fuzz_check.h"

using namespace kelvara;

namespace {

// A window system where every number not divisible by 3 names a window and
// the foreground window is fixed; enough to reach every branch of the plan.
constexpr WindowNumber kForeground = 4242;

bool fakeIsWindow(WindowNumber n) { return n % 3 != 0; }

// The decimal number at `pos` by plain 128-bit arithmetic: what
// parseWindowHandle must agree with.
WindowNumber referenceHandle(std::string_view text, std::size_t pos, std::size_t& end) {
    unsigned __int128 value = 0;
    bool tooLong = false;
    end = pos;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
        value = value * 10 + static_cast<unsigned>(text[end] - '0');
        if (value > static_cast<WindowNumber>(-1))
            tooLong = true;
        if (tooLong)
            value = 0;
        ++end;
    }
    return tooLong ? 0 : static_cast<WindowNumber>(value);
}

void checkPlan(const SaverCommand& command, const HostPlan& plan, bool win9x) {
    if (!command.recognised) {
        KELVARA_FUZZ_CHECK(plan.action == HostAction::Exit && plan.exitCode == kExitBadSwitch);
        return;
    }
    // The window handed on is always one the command named, the foreground
    // window or none: never a number the host made up.
    KELVARA_FUZZ_CHECK(plan.window == 0 || plan.window == command.window || plan.window == kForeground);
    switch (plan.action) {
    case HostAction::RunPreview:
        KELVARA_FUZZ_CHECK(command.mode == SaverMode::Preview);
        KELVARA_FUZZ_CHECK(plan.window == command.window && fakeIsWindow(plan.window) && plan.window != 0);
        break;
    case HostAction::RunSaver:
        KELVARA_FUZZ_CHECK(command.mode == SaverMode::Saver && plan.window == 0);
        break;
    case HostAction::ShowConfigDialog:
        KELVARA_FUZZ_CHECK(command.mode == SaverMode::Configure);
        break;
    case HostAction::ChangePassword:
        KELVARA_FUZZ_CHECK(command.mode == SaverMode::ChangePassword && win9x);
        KELVARA_FUZZ_CHECK(plan.window != 0);
        break;
    case HostAction::Exit:
        KELVARA_FUZZ_CHECK(plan.exitCode == kExitBadSwitch);
        KELVARA_FUZZ_CHECK(command.mode == SaverMode::Preview || command.mode == SaverMode::ChangePassword);
        break;
    }
}

void checkCommand(std::string_view arguments, bool win9x) {
    const SaverCommand command = parseSaverCommand(arguments);
    WindowQueries windows;
    windows.isWindow = fakeIsWindow;
    windows.foregroundWindow = [] { return kForeground; };
    checkPlan(command, planHostRun(command, win9x, windows), win9x);
    // Without a window system's answers nothing may be invented either.
    const HostPlan blind = planHostRun(command, win9x, WindowQueries{});
    KELVARA_FUZZ_CHECK(blind.window == 0);
    KELVARA_FUZZ_CHECK(blind.action != HostAction::RunPreview);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const bool win9x = size > 0 && (data[0] & 1) != 0;

    // The whole command line: the program's name is skipped, the rest is a
    // suffix of the text.
    const std::string_view arguments = argumentsOf(text);
    KELVARA_FUZZ_CHECK(arguments.size() <= text.size());
    KELVARA_FUZZ_CHECK(arguments.data() + arguments.size() == text.data() + text.size() || arguments.empty());
    checkCommand(arguments, win9x);

    // Every digit run of the text, from every starting point, read as a window
    // number: agrees with plain arithmetic, stops on the first non-digit.
    for (std::size_t pos = 0; pos < text.size() && pos < 64; ++pos) {
        std::size_t end = pos;
        std::size_t expectedEnd = 0;
        const WindowNumber expected = referenceHandle(text, pos, expectedEnd);
        const WindowNumber got = parseWindowHandle(text, end);
        KELVARA_FUZZ_CHECK(got == expected);
        KELVARA_FUZZ_CHECK(end == expectedEnd);
        if (got != 0) {
            const std::string decimal = std::to_string(got);
            std::size_t p = 0;
            KELVARA_FUZZ_CHECK(parseWindowHandle(decimal, p) == got && p == decimal.size());
        }
    }

    // The same bytes as separate argument words (POSIX hosts and tests).
    const std::vector<std::string> words = fuzz::splitWords(data, size);
    std::vector<const char*> argv;
    for (const std::string& w : words)
        argv.push_back(w.c_str());
    const std::string joined = joinArguments(argv);
    checkCommand(joined, win9x);
    // A command line made of a program name and the joined words decides the
    // same as the words, whether the name is quoted or not. (Leading control
    // characters are separators after a name but not before a switch.)
    if (joined.empty() || static_cast<unsigned char>(joined[0]) > ' ') {
        const SaverCommand direct = parseSaverCommand(joined);
        for (const char* program : {"kelvara.scr ", "\"C:\\Program Files\\kelvara.scr\" "}) {
            const std::string line = program + joined;
            const SaverCommand viaLine = parseSaverCommand(argumentsOf(line));
            KELVARA_FUZZ_CHECK(viaLine.recognised == direct.recognised);
            KELVARA_FUZZ_CHECK(viaLine.mode == direct.mode);
            KELVARA_FUZZ_CHECK(viaLine.window == direct.window);
            KELVARA_FUZZ_CHECK(viaLine.foregroundFallback == direct.foregroundFallback);
        }
    }
    return 0;
}
