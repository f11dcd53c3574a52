#include "host/idle_watch.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace kelvara {

// A saver that outlived the user's return stays owed its end when the seat
// goes idle again: it did not end on the input that came.
void IdleWatchRules::seatIdle(int64_t) {
    idle_ = true;
    periodDone_ = false;
}

void IdleWatchRules::seatActive(int64_t now) {
    idle_ = false;
    periodDone_ = false;
    if (running_ && activeAt_ < 0)
        activeAt_ = now;
}

bool IdleWatchRules::wantsStart(int64_t now) const {
    return idle_ && !periodDone_ && !running_ && now >= retryAt_;
}

void IdleWatchRules::saverStarted(int64_t now) {
    running_ = true;
    periodDone_ = true;
    startedAt_ = now;
    activeAt_ = -1;
    termAt_ = -1;
    killed_ = false;
}

void IdleWatchRules::startRefused() {
    periodDone_ = true;
}

int64_t IdleWatchRules::retryDelay() const {
    if (failures_ < times_.failuresBeforeBackoff)
        return times_.retryMs;
    int64_t delay = times_.backoffFirstMs;
    for (int n = times_.failuresBeforeBackoff; n < failures_ && delay < times_.backoffMaxMs; ++n)
        delay *= 2;
    return std::min(delay, times_.backoffMaxMs);
}

std::string IdleWatchRules::saverEnded(int64_t now, SaverEnd end) {
    const bool wasRunning = running_;
    running_ = false;
    activeAt_ = -1;
    termAt_ = -1;
    if (end == SaverEnd::EndedByWatch)
        return {};
    if (end == SaverEnd::Finished) {
        failures_ = 0;
        reported_ = false;
        return {};
    }
    // A failure while the seat is still idle may be tried again in this
    // period, but only after a wait that grows while the failures come at once.
    const bool atOnce = !wasRunning || now - startedAt_ < times_.quickFailMs;
    failures_ = atOnce ? failures_ + 1 : 1;
    if (!atOnce)
        reported_ = false;
    periodDone_ = false;
    retryAt_ = now + retryDelay();
    if (failures_ < times_.failuresBeforeBackoff || reported_)
        return {};
    reported_ = true;
    return "--idle: the saver failed " + std::to_string(failures_) +
           " times in a row as it started; the watch tries again after " +
           std::to_string(retryDelay() / 1000) +
           " s, then less and less often (run kelvara --wayland to see why it fails)";
}

SaverSignal IdleWatchRules::signalDue(int64_t now) const {
    if (!running_ || killed_)
        return SaverSignal::None;
    if (termAt_ >= 0)
        return now >= termAt_ + times_.killGraceMs ? SaverSignal::Kill : SaverSignal::None;
    if (activeAt_ >= 0 && now >= activeAt_ + times_.outliveMs)
        return SaverSignal::Terminate;
    return SaverSignal::None;
}

void IdleWatchRules::signalSent(int64_t now, SaverSignal signal) {
    if (signal == SaverSignal::Terminate && termAt_ < 0)
        termAt_ = now;
    else if (signal == SaverSignal::Kill)
        killed_ = true;
}

int64_t IdleWatchRules::msUntilNextDeadline(int64_t now) const {
    int64_t at = -1;
    if (running_ && !killed_) {
        if (termAt_ >= 0)
            at = termAt_ + times_.killGraceMs;
        else if (activeAt_ >= 0)
            at = activeAt_ + times_.outliveMs;
    } else if (!running_ && idle_ && !periodDone_) {
        at = retryAt_;
    }
    return at < 0 ? -1 : std::max<int64_t>(0, at - now);
}

std::string blankDelayNote(const char* desktop, unsigned desktopSeconds, unsigned watchSeconds) {
    if (desktopSeconds == 0 || desktopSeconds >= watchSeconds)
        return {};
    return std::string("--idle ") + std::to_string(watchSeconds) + ": " + desktop +
           " blanks the screen after " + std::to_string(desktopSeconds) +
           " s of idle time, before the saver would start; set a longer " +
           "blank delay there or a shorter time here";
}

namespace {

// The value of `key` in `[group]` of an INI-style text; empty when absent.
std::string iniValue(const std::string& text, const std::string& group, const std::string& key) {
    std::istringstream in(text);
    std::string line;
    bool inGroup = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            // Nested groups are written [AC][Display].
            inGroup = line == group;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (inGroup && eq != std::string::npos && line.compare(0, eq, key) == 0)
            return line.substr(eq + 1);
    }
    return {};
}

unsigned wholeNumber(const std::string& text) {
    if (text.empty() || text[0] < '0' || text[0] > '9')
        return 0;
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    return *end == '\0' && v <= 0xffffffffUL ? static_cast<unsigned>(v) : 0;
}

// One argument of an Exec line: quoted when it holds a reserved character,
// with the quoting rule's escapes inside the quotes.
std::string execArgument(const std::string& word) {
    std::string out;
    const bool quote = word.empty() || word.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
    for (char c : word) {
        if (c == '%')
            out += "%%";
        else if (quote && c != '\0' && std::strchr("\"`$\\", c))
            out += std::string(1, '\\') + c;
        else
            out += c;
    }
    if (!quote)
        return out;
    std::string quoted(1, '"');
    quoted += out;
    quoted += '"';
    return quoted;
}

// The string escapes every value of a desktop entry takes, applied after
// the quoting: a backslash inside quotes ends up as four.
std::string entryValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += c;
        }
    }
    return out;
}

} // namespace

unsigned kdeScreenOffSeconds(const std::string& text) {
    if (const unsigned s = wholeNumber(iniValue(text, "[AC][Display]", "TurnOffDisplayIdleTimeoutSec")))
        return s;
    return wholeNumber(iniValue(text, "[AC][DPMSControl]", "idleTime"));
}

std::string autostartEntry(const std::string& exec, const std::vector<std::string>& arguments) {
    std::string line = execArgument(exec);
    // Built by appending: GCC 12 warns falsely about a literal + std::string.
    for (const std::string& a : arguments) {
        line += ' ';
        line += execArgument(a);
    }
    std::string entry = "[Desktop Entry]\n"
                        "Type=Application\n"
                        "Name=Kelvara idle watch\n"
                        "Comment=Starts the Kelvara screen saver when the session has been idle\n"
                        "Exec=";
    entry += entryValue(line);
    entry += "\nNoDisplay=true\n"
             "X-GNOME-Autostart-enabled=true\n";
    return entry;
}

} // namespace kelvara
