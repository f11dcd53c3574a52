#include "cli/command_line.h"

#include <limits>

namespace kelvara {

namespace {

// The character at `i`, with the end of the text (or an embedded NUL, where a
// C string would end) read as '\0'.
char charAt(std::string_view text, std::size_t i) {
    return i < text.size() ? text[i] : '\0';
}

unsigned char codeAt(std::string_view text, std::size_t i) {
    return static_cast<unsigned char>(charAt(text, i));
}

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

void skipSpaces(std::string_view text, std::size_t& pos) {
    while (charAt(text, pos) == ' ')
        ++pos;
}

bool namesWindow(const WindowQueries& windows, WindowNumber window) {
    return window != 0 && windows.isWindow && windows.isWindow(window);
}

WindowNumber foreground(const WindowQueries& windows) {
    return windows.foregroundWindow ? windows.foregroundWindow() : 0;
}

} // namespace

std::string_view argumentsOf(std::string_view commandLine) {
    // Stepping byte by byte stops where stepping by multibyte characters
    // would: trail bytes of every multibyte code page are 0x40 or above, never
    // a quote, a space or a control character.
    std::size_t i = 0;
    if (charAt(commandLine, 0) == '"') {
        ++i;
        while (charAt(commandLine, i) != '"' && charAt(commandLine, i) != '\0')
            ++i;
        if (charAt(commandLine, i) == '"')
            ++i;
    } else {
        while (codeAt(commandLine, i) > ' ')
            ++i;
    }
    while (codeAt(commandLine, i) >= 1 && codeAt(commandLine, i) <= ' ')
        ++i;
    return commandLine.substr(i < commandLine.size() ? i : commandLine.size());
}

WindowNumber parseWindowHandle(std::string_view text, std::size_t& pos) {
    constexpr WindowNumber kMax = std::numeric_limits<WindowNumber>::max();
    WindowNumber value = 0;
    bool tooLong = false;
    for (char c = charAt(text, pos); c >= '0' && c <= '9'; c = charAt(text, ++pos)) {
        // Every digit is read, also past an overflow, so `pos` ends after the number.
        const auto digit = static_cast<WindowNumber>(c - '0');
        if (tooLong)
            continue;
        if (value > (kMax - digit) / 10)
            tooLong = true;
        else
            value = value * 10 + digit;
    }
    return tooLong ? 0 : value;
}

SaverCommand parseSaverCommand(std::string_view arguments) {
    std::size_t pos = 0;
    for (char c = charAt(arguments, pos); c == ' ' || c == '-' || c == '/'; c = charAt(arguments, ++pos)) {
    }

    SaverCommand command;
    const char letter = lowerAscii(charAt(arguments, pos));
    ++pos;
    switch (letter) {
    case '\0':
        command.recognised = true;
        command.mode = SaverMode::Configure;
        break;
    case 's':
        command.recognised = true;
        command.mode = SaverMode::Saver;
        break;
    case 'p':
    case 'l':
        command.recognised = true;
        command.mode = SaverMode::Preview;
        skipSpaces(arguments, pos);
        command.window = parseWindowHandle(arguments, pos);
        break;
    case 'c':
        // Only "c:number" names the owner; "c number" is read as plain "c".
        command.recognised = true;
        command.mode = SaverMode::Configure;
        command.foregroundFallback = true;
        if (charAt(arguments, pos) == ':') {
            ++pos;
            command.window = parseWindowHandle(arguments, pos);
        }
        break;
    case 'a':
        command.recognised = true;
        command.mode = SaverMode::ChangePassword;
        command.foregroundFallback = true;
        skipSpaces(arguments, pos);
        command.window = parseWindowHandle(arguments, pos);
        break;
    default:
        break;
    }
    return command;
}

std::string joinArguments(std::span<const char* const> arguments) {
    std::string text;
    for (const char* argument : arguments) {
        if (!argument)
            continue;
        if (!text.empty())
            text += ' ';
        text += argument;
    }
    return text;
}

HostPlan planHostRun(const SaverCommand& command, bool win9xPlatform, const WindowQueries& windows) {
    HostPlan plan;
    if (!command.recognised) {
        plan.exitCode = kExitBadSwitch;
        return plan;
    }
    switch (command.mode) {
    case SaverMode::Configure:
        plan.action = HostAction::ShowConfigDialog;
        if (command.foregroundFallback)
            plan.window = namesWindow(windows, command.window) ? command.window : foreground(windows);
        break;
    case SaverMode::Saver:
        plan.action = HostAction::RunSaver;
        break;
    case SaverMode::Preview:
        if (namesWindow(windows, command.window)) {
            plan.action = HostAction::RunPreview;
            plan.window = command.window;
        } else {
            plan.exitCode = kExitBadSwitch;
        }
        break;
    case SaverMode::ChangePassword:
        // Elsewhere the system asks for and changes the password itself.
        if (!win9xPlatform) {
            plan.exitCode = kExitBadSwitch;
            break;
        }
        plan.action = HostAction::ChangePassword;
        plan.window = namesWindow(windows, command.window) ? command.window : foreground(windows);
        plan.exitCode = 0;
        break;
    }
    return plan;
}

} // namespace kelvara
