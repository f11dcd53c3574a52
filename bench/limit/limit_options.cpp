#include "limit_options.h"

#include <string_view>

#include "cli/run_control.h"

namespace kelvara {

ParsedLimitOptions parseLimitOptions(int argc, const char* const* argv) {
    ParsedLimitOptions parsed;
    LimitOptions& o = parsed.options;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.starts_with("--"))
            arg.remove_prefix(2);
        else if (arg.starts_with("-"))
            arg.remove_prefix(1);
        else {
            parsed.error = "unexpected argument \"" + std::string(argv[i]) + "\"";
            return parsed;
        }
        const bool takesValue = arg == "seconds" || arg == "stats";
        if (takesValue && i + 1 >= argc) {
            parsed.error = "--" + std::string(arg) + " needs a value";
            return parsed;
        }
        if (arg == "seconds") {
            if (!parseRunSeconds(argv[++i], o.seconds)) {
                parsed.error = "--seconds wants a number of seconds above 0 (at most a day), not \"" +
                               std::string(argv[i]) + "\"";
                return parsed;
            }
        } else if (arg == "stats") {
            o.statsFile = argv[++i];
            if (o.statsFile.empty()) {
                parsed.error = "--stats needs a file name";
                return parsed;
            }
        } else if (arg == "no-vsync") {
            o.waitForRetrace = false;
        } else if (arg == "help" || arg == "h") {
            o.help = true;
        } else {
            parsed.error = "unknown option \"" + std::string(argv[i]) + "\"";
            return parsed;
        }
    }
    parsed.ok = true;
    return parsed;
}

} // namespace kelvara
