// hostile_win32 SAVER WORKDIR
//
// The Windows half of the hostile settings matrix, run under Wine (through
// scripts/wine-run): for each case of windowsSample() it puts every setting's value
// into the registry as REG_DWORDs (nothing else under the key), starts
// "SAVER /s" with KELVARA_FRAMES, KELVARA_NO_VSYNC and KELVARA_STATS set,
// waits for it under a time limit, and checks the exit code, the frame count
// and peak memory from the statistics file, and that the key holds exactly
// the values it was given (or a preset's, with randPreset on). SAVER and
// WORKDIR are Unix paths (Wine's Z: drive). Prints one line per case and a
// summary; exit code 0 when every case holds. The key is removed at the end.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "hostile_cases.h"
#include "settings/store_registry.h"

namespace {

using namespace kelvara;
using namespace kelvara::hostile;

constexpr int kFrames = 100;
constexpr DWORD kTimeoutMs = 60000;
constexpr long kRssBoundKib = 512 * 1024;

std::string windowsPath(const std::string& unixPath) {
    std::string p = unixPath;
    std::replace(p.begin(), p.end(), '/', '\\');
    return p.rfind("\\", 0) == 0 ? "Z:" + p : p;
}

bool writeRecord(const StoredRecord& record) {
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsRegistryKey);
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsRegistryKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool ok = true;
    for (std::size_t i = 0; i < kSettingCount; ++i) {
        const DWORD v = record[i];
        ok = ok && RegSetValueExA(key, kSettingFields[i].name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                                  sizeof v) == ERROR_SUCCESS;
    }
    RegCloseKey(key);
    return ok;
}

// The settings as REG_DWORDs, and a complaint for anything else under the key.
std::array<std::optional<uint32_t>, kSettingCount> readRecord(std::vector<std::string>& problems) {
    std::array<std::optional<uint32_t>, kSettingCount> out;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsRegistryKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        problems.push_back("settings key gone");
        return out;
    }
    for (DWORD index = 0;; ++index) {
        char name[256];
        DWORD nameSize = sizeof name;
        DWORD type = 0;
        BYTE data[64];
        DWORD dataSize = sizeof data;
        if (RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS)
            break;
        bool known = false;
        for (std::size_t i = 0; i < kSettingCount; ++i) {
            if (std::string(name) == kSettingFields[i].name) {
                known = true;
                if (type != REG_DWORD || dataSize != 4)
                    problems.push_back(std::string(name) + " is no longer a 4-byte REG_DWORD");
                else
                    out[i] = static_cast<uint32_t>(data[0] | data[1] << 8 | data[2] << 16 | uint32_t{data[3]} << 24);
            }
        }
        if (!known)
            problems.push_back(std::string("unexpected value ") + name);
    }
    RegCloseKey(key);
    return out;
}

std::map<std::string, std::string> readStats(const std::string& path) {
    std::map<std::string, std::string> stats;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const auto eq = line.find('=');
        if (eq != std::string::npos)
            stats[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return stats;
}

struct Outcome {
    double seconds = 0;
    long peakKib = 0;
    std::vector<std::string> failures;
};

Outcome runCase(const HostileCase& c, const std::string& saver, const std::string& stats) {
    Outcome out;
    if (!writeRecord(c.stored)) {
        out.failures.push_back("cannot write the settings key");
        return out;
    }
    DeleteFileA(stats.c_str());
    SetEnvironmentVariableA("KELVARA_FRAMES", std::to_string(kFrames).c_str());
    SetEnvironmentVariableA("KELVARA_NO_VSYNC", "1");
    SetEnvironmentVariableA("KELVARA_STATS", stats.c_str());
    std::string commandLine = "\"" + saver + "\" /s";
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    const DWORD start = GetTickCount();
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        out.failures.push_back("CreateProcess failed: error " + std::to_string(GetLastError()));
        return out;
    }
    const DWORD waited = WaitForSingleObject(pi.hProcess, kTimeoutMs);
    out.seconds = (GetTickCount() - start) / 1000.0;
    if (waited != WAIT_OBJECT_0) {
        TerminateProcess(pi.hProcess, 99);
        WaitForSingleObject(pi.hProcess, 5000);
        out.failures.push_back("still running after " + std::to_string(kTimeoutMs / 1000) + " s (hang)");
    }
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    const DWORD wantCode = c.expect == Expect::SwitchRefused ? 1 : 0;
    if (waited == WAIT_OBJECT_0 && code != wantCode)
        out.failures.push_back("exit code " + std::to_string(static_cast<long>(code)) + ", want " +
                               std::to_string(wantCode));

    if (c.expect != Expect::SwitchRefused) {
        const auto s = readStats(stats);
        const auto frames = s.find("frames");
        if (frames == s.end())
            out.failures.push_back("no frames= in the statistics file");
        else if (std::atol(frames->second.c_str()) < kFrames)
            out.failures.push_back("only " + frames->second + " frames");
        if (const auto rss = s.find("peak_rss_kib"); rss != s.end())
            out.peakKib = std::atol(rss->second.c_str());
        if (out.peakKib >= kRssBoundKib)
            out.failures.push_back("peak memory " + std::to_string(out.peakKib) + " KiB");
    }

    std::vector<std::string> problems;
    const auto after = readRecord(problems);
    for (const std::string& p : problems)
        out.failures.push_back(p);
    if (auto why = checkStoredAfter(c, after))
        out.failures.push_back("registry: " + *why);
    return out;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: hostile_win32 SAVER WORKDIR\n");
        return 2;
    }
    const std::string saver = windowsPath(argv[1]);
    const std::string work = windowsPath(argv[2]);
    CreateDirectoryA(work.c_str(), nullptr);
    const std::string stats = work + "\\stats.txt";

    const DWORD started = GetTickCount();
    const std::vector<HostileCase> cases = windowsSample();
    int failed = 0;
    std::string slowest;
    double slowestSeconds = 0;
    std::string biggest;
    long biggestKib = 0;
    for (const HostileCase& c : cases) {
        const Outcome o = runCase(c, saver, stats);
        std::printf("%s %-44s %6.2f s %7ld KiB\n", o.failures.empty() ? "ok  " : "FAIL", c.name.c_str(), o.seconds,
                    o.peakKib);
        for (const std::string& f : o.failures)
            std::printf("      %s\n", f.c_str());
        std::fflush(stdout);
        failed += o.failures.empty() ? 0 : 1;
        if (o.seconds > slowestSeconds) {
            slowestSeconds = o.seconds;
            slowest = c.name;
        }
        if (o.peakKib > biggestKib) {
            biggestKib = o.peakKib;
            biggest = c.name;
        }
    }
    RegDeleteTreeA(HKEY_CURRENT_USER, kSettingsRegistryKey);
    std::printf("== %zu runs of %d frames under Wine, %d failed, %.1f s in all\n", cases.size(), kFrames, failed,
                (GetTickCount() - started) / 1000.0);
    std::printf("== slowest run: %s, %.2f s\n", slowest.c_str(), slowestSeconds);
    std::printf("== highest peak memory: %s, %ld KiB (bound %ld MiB)\n", biggest.c_str(), biggestKib,
                kRssBoundKib / 1024);
    return failed == 0 ? 0 : 1;
}
