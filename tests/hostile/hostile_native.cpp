// hostile_native KELVARA WORKDIR [options]
//
// Runs the native saver once per hostile settings case (hostile_cases.h) on
// the X display in $DISPLAY (start it under scripts/with-xvfb, a small screen
// keeps it cheap): each run full screen for a number of frames without vsync,
// two at a time, each on an X screen of its own (one full-screen saver runs
// per screen: the display needs a screen per job, Xvfb -screen 1 ...), under
// a hard time limit and an address-space cap, then
// checks its exit code, its frame count and peak memory from the statistics
// file, and the settings file it leaves. Prints one line per failure and a
// summary; exit code 0 when every case holds.
//
// Options: --jobs N (2), --frames N (100), --heavy-frames N (5: the
// heaviest scenes take up to 2 s a frame under llvmpipe; give them 100 and a
// longer --timeout for a full run), --timeout S (60: then SIGTERM,
// SIGKILL 5 s later), --rss-mib M (512: the peak resident memory allowed),
// --as-mib M (4096: address space, so a runaway allocation fails instead of
// swapping; 0: no cap), --only TEXT (cases whose name contains TEXT), --list.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hostile_cases.h"
#include "settings/settings_store.h"
#include "settings/store_file.h"

namespace {

using namespace kelvara;
using namespace kelvara::hostile;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Options {
    std::string program;
    fs::path work;
    int jobs = 2;
    int frames = 100;
    int heavyFrames = 5;
    double timeoutSeconds = 60;
    long rssMib = 512;
    long asMib = 4096;
    std::string only;
    bool list = false;
};

struct Run {
    const HostileCase* hostile = nullptr;
    fs::path dir;
    pid_t pid = -1;
    Clock::time_point start;
    int screen = 0;          // the X screen it runs on: one per job
    bool terminated = false; // hit the time limit
    bool killed = false;
    double seconds = 0;
    long peakKib = 0;
    std::vector<std::string> failures;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::map<std::string, std::string> readStats(const fs::path& path) {
    std::map<std::string, std::string> stats;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            stats[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return stats;
}

std::string folderName(std::size_t index, const std::string& name) {
    std::string out = std::to_string(index) + "-";
    for (char c : name)
        out += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '=') ? c : '_';
    return out;
}

pid_t startRun(const Options& o, Run& run) {
    const fs::path settings = run.dir / "settings";
    const std::string stats = (run.dir / "stats").string();
    const std::string log = (run.dir / "log").string();
    const std::string frames = std::to_string(run.hostile->heavy ? o.heavyFrames : o.frames);
    std::vector<std::string> args = {o.program, "--settings", settings.string(), "--frames", frames,
                                     "--no-vsync", "--stats", stats};
    // The display named without its screen, then this job's screen.
    std::string display = std::getenv("DISPLAY");
    const std::size_t dot = display.rfind('.');
    if (dot != std::string::npos && display.find(':') < dot)
        display.resize(dot);
    display += "." + std::to_string(run.screen);
    const pid_t pid = fork();
    if (pid != 0)
        return pid;
    // Child: its own process group so a time-out reaches everything it starts.
    setpgid(0, 0);
    setenv("DISPLAY", display.c_str(), 1);
    if (o.asMib > 0) {
        const rlim_t as = static_cast<rlim_t>(o.asMib) << 20;
        rlimit limit{as, as};
        setrlimit(RLIMIT_AS, &limit);
    }
    rlimit noCore{0, 0};
    setrlimit(RLIMIT_CORE, &noCore);
    const int fd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
        close(fd);
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    std::perror("execv");
    _exit(127);
}

void fail(Run& run, std::string why) { run.failures.push_back(std::move(why)); }

void checkRun(const Options& o, Run& run, int status) {
    const HostileCase& c = *run.hostile;
    const bool refused = c.expect == Expect::SwitchRefused;
    const int wantExit = refused ? 1 : 0;
    if (run.terminated)
        fail(run, "still running after " + std::to_string(static_cast<int>(o.timeoutSeconds)) + " s (hang)" +
                      (run.killed ? ", killed" : ", ended by SIGTERM"));
    if (WIFSIGNALED(status))
        fail(run, std::string("killed by signal ") + strsignal(WTERMSIG(status)));
    else if (WEXITSTATUS(status) != wantExit)
        fail(run, "exit code " + std::to_string(WEXITSTATUS(status)) + ", want " + std::to_string(wantExit));

    if (!refused) {
        const auto stats = readStats(run.dir / "stats");
        const auto frames = stats.find("frames");
        if (frames == stats.end())
            fail(run, "no frames= in the statistics file");
        else if (std::atol(frames->second.c_str()) < (c.heavy ? o.heavyFrames : o.frames))
            fail(run, "only " + frames->second + " frames");
        // Peak memory as the program measured it, when larger than what the
        // kernel reported for the process.
        const auto rss = stats.find("peak_rss_kib");
        if (rss != stats.end())
            run.peakKib = std::max(run.peakKib, std::atol(rss->second.c_str()));
    }
    if (run.peakKib >= o.rssMib * 1024)
        fail(run, "peak memory " + std::to_string(run.peakKib) + " KiB, over " + std::to_string(o.rssMib) + " MiB");

    // The settings: untouched bytes when the program wrote nothing or the
    // file was in the program's own form; otherwise the same stored values.
    const fs::path file = run.dir / "settings";
    const std::string before = settingsFileText(c);
    const std::string after = readFile(file);
    const bool sameBytesExpected = !c.unsignedText || refused;
    if (!(sameBytesExpected && c.expect != Expect::RandomPreset && after == before)) {
        std::array<std::optional<uint32_t>, kSettingCount> stored;
        const auto parsed = parseSettingsText(after);
        for (std::size_t i = 0; i < kSettingCount; ++i)
            for (const StoredValue& v : parsed)
                if (v.name == kSettingFields[i].name)
                    stored[i] = v.value;
        if (auto why = checkStoredAfter(c, stored))
            fail(run, "settings file: " + *why);
        else if (sameBytesExpected && c.expect != Expect::RandomPreset)
            fail(run, "settings file rewritten with other bytes, same values");
        if (parsed.size() != kSettingCount)
            fail(run, "settings file holds " + std::to_string(parsed.size()) + " values, want " +
                          std::to_string(kSettingCount));
    }
    // A save replaces the file by renaming a temporary one over it.
    for (const auto& entry : fs::directory_iterator(run.dir)) {
        const std::string name = entry.path().filename().string();
        if (name != "settings" && name != "stats" && name != "log")
            fail(run, "left behind: " + name);
    }
}

bool parseArgs(int argc, char** argv, Options& o) {
    if (argc < 3)
        return false;
    o.program = argv[1];
    o.work = argv[2];
    for (int i = 3; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--list") {
            o.list = true;
            continue;
        }
        if (i + 1 >= argc)
            return false;
        const char* v = argv[++i];
        if (a == "--jobs")
            o.jobs = std::max(1, std::atoi(v));
        else if (a == "--frames")
            o.frames = std::max(1, std::atoi(v));
        else if (a == "--heavy-frames")
            o.heavyFrames = std::max(1, std::atoi(v));
        else if (a == "--timeout")
            o.timeoutSeconds = std::atof(v);
        else if (a == "--rss-mib")
            o.rssMib = std::atol(v);
        else if (a == "--as-mib")
            o.asMib = std::atol(v);
        else if (a == "--only")
            o.only = v;
        else
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parseArgs(argc, argv, o)) {
        std::fprintf(stderr, "usage: hostile_native KELVARA WORKDIR [--jobs N] [--frames N] [--heavy-frames N] "
                             "[--timeout S] "
                             "[--rss-mib M] [--as-mib M] [--only TEXT] [--list]\n");
        return 2;
    }
    const std::vector<HostileCase> all = allCases();
    std::vector<Run> runs;
    for (const HostileCase& c : all) {
        if (!o.only.empty() && c.name.find(o.only) == std::string::npos)
            continue;
        Run r;
        r.hostile = &c;
        r.dir = o.work / folderName(runs.size(), c.name);
        runs.push_back(std::move(r));
    }
    if (o.list) {
        for (const Run& r : runs)
            std::printf("%s\n", r.hostile->name.c_str());
        return 0;
    }
    if (!std::getenv("DISPLAY")) {
        std::fprintf(stderr, "hostile_native: no DISPLAY; run it under scripts/with-xvfb\n");
        return 2;
    }
    std::error_code ec;
    fs::remove_all(o.work, ec);
    fs::create_directories(o.work);

    const auto started = Clock::now();
    const auto limit = std::chrono::duration<double>(o.timeoutSeconds);
    std::size_t next = 0;
    std::map<pid_t, Run*> active;
    while (next < runs.size() || !active.empty()) {
        while (next < runs.size() && static_cast<int>(active.size()) < o.jobs) {
            Run& r = runs[next++];
            fs::create_directories(r.dir);
            std::ofstream(r.dir / "settings", std::ios::binary) << settingsFileText(*r.hostile);
            r.start = Clock::now();
            // The lowest screen no active run holds.
            while (std::any_of(active.begin(), active.end(),
                               [&r](const auto& a) { return a.second->screen == r.screen; }))
                ++r.screen;
            r.pid = startRun(o, r);
            if (r.pid < 0) {
                fail(r, std::string("fork: ") + std::strerror(errno));
                continue;
            }
            active[r.pid] = &r;
        }
        int status = 0;
        rusage usage{};
        const pid_t done = wait4(-1, &status, WNOHANG, &usage);
        if (done > 0 && active.count(done)) {
            Run& r = *active[done];
            active.erase(done);
            r.seconds = std::chrono::duration<double>(Clock::now() - r.start).count();
            r.peakKib = usage.ru_maxrss; // KiB on Linux
            checkRun(o, r, status);
            std::printf("%s %-48s %6.2f s %7ld KiB\n", r.failures.empty() ? "ok  " : "FAIL",
                        r.hostile->name.c_str(), r.seconds, r.peakKib);
            for (const std::string& f : r.failures)
                std::printf("      %s\n", f.c_str());
            std::fflush(stdout);
            continue;
        }
        const auto now = Clock::now();
        for (auto& [pid, r] : active) {
            if (!r->terminated && now - r->start > limit) {
                r->terminated = true;
                kill(-pid, SIGTERM);
            } else if (r->terminated && !r->killed && now - r->start > limit + std::chrono::seconds(5)) {
                r->killed = true;
                kill(-pid, SIGKILL);
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    const double total = std::chrono::duration<double>(Clock::now() - started).count();
    std::size_t failed = 0;
    const Run* slowest = nullptr;
    const Run* biggest = nullptr;
    for (const Run& r : runs) {
        failed += r.failures.empty() ? 0 : 1;
        if (!slowest || r.seconds > slowest->seconds)
            slowest = &r;
        if (!biggest || r.peakKib > biggest->peakKib)
            biggest = &r;
    }
    std::size_t heavy = 0;
    for (const Run& r : runs)
        heavy += r.hostile->heavy ? 1 : 0;
    std::printf("== %zu runs (%zu of %d frames, %zu heaviest of %d), %zu failed, %.1f s in all, %d at a time\n",
                runs.size(), runs.size() - heavy, o.frames, heavy, o.heavyFrames, failed, total, o.jobs);
    if (slowest)
        std::printf("== slowest run: %s, %.2f s\n", slowest->hostile->name.c_str(), slowest->seconds);
    if (biggest)
        std::printf("== highest peak memory: %s, %ld KiB (bound %ld MiB)\n", biggest->hostile->name.c_str(),
                    biggest->peakKib, o.rssMib);
    return failed == 0 ? 0 : 1;
}
