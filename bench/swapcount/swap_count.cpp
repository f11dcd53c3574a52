// Counts a process's buffer swaps, whoever the process is: loaded with
// LD_PRELOAD, it stands in for glXSwapBuffers and eglSwapBuffers and writes what it saw to the
// file named by KELVARA_SWAPCOUNT_FILE. Programs that draw their frame counter
// only on screen are measured the same way as ours.
//
// Provides: glXSwapBuffers, eglSwapBuffers, glXGetProcAddress,
// glXGetProcAddressARB, eglGetProcAddress and dlsym.
// Programs that load libGL themselves (Wine's X11 driver opens it with dlopen
// and takes glXSwapBuffers with dlsym on that handle, past the symbol lookup
// LD_PRELOAD changes) are caught in dlsym: a request for glXSwapBuffers, or
// for one of the lookup functions, gets ours.
// Limits: dlsym(RTLD_NEXT, ...) called by the program resolves relative to
// this library rather than the caller; none of the programs measured does
// that for GL. Swaps of every drawable and thread count alike.
//
// The file is rewritten at most every kWriteIntervalNs while swaps arrive and
// once more when the process exits normally, so a process ended by a signal
// still leaves a consistent (slightly early) record. Only a process that
// swapped at least once writes: helper processes sharing the environment
// (Wine's) leave the file alone.
#include <dlfcn.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct OpaqueDisplay;
using GlxDrawable = unsigned long; // an XID
using SwapFn = void (*)(OpaqueDisplay*, GlxDrawable);
using EglSwapFn = unsigned (*)(void*, void*); // EGLBoolean (EGLDisplay, EGLSurface)
using ProcFn = void (*)();
using GetProcFn = ProcFn (*)(const unsigned char*);
using DlsymFn = void* (*)(void*, const char*);

constexpr int64_t kWriteIntervalNs = 250'000'000;
// Swap intervals are kept in 0.1 ms bins up to one second (anything longer
// lands in the last bin): a fixed table, so the measured program's memory
// does not grow with how long it runs.
constexpr int kBinsPerMs = 10;
constexpr int kBinCount = 1000 * kBinsPerMs + 1;

std::atomic<uint64_t> swapCount{0};
std::atomic<int64_t> firstNs{0};
std::atomic<int64_t> lastNs{0};
std::atomic<int64_t> lastWriteNs{0};
std::atomic<int64_t> longestNs{0};
std::atomic<bool> writing{false};
std::atomic<uint32_t> intervalBins[kBinCount];

int64_t nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

DlsymFn realDlsym() {
    static DlsymFn real = [] {
        // dlvsym is not ours, so this finds libc's dlsym whichever version
        // name this libc gives it.
        auto fn = reinterpret_cast<DlsymFn>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34"));
        if (!fn)
            fn = reinterpret_cast<DlsymFn>(dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5"));
        return fn;
    }();
    return real;
}

// The real functions come from the library the process has: first the one
// already in the global scope, else `library` opened here.
void* realFunction(const char* library, const char* name) {
    DlsymFn lookup = realDlsym();
    if (!lookup)
        return nullptr;
    if (void* fn = lookup(RTLD_NEXT, name))
        return fn;
    void* handle = dlopen(library, RTLD_NOW | RTLD_GLOBAL);
    return handle ? lookup(handle, name) : nullptr;
}

void* realGl(const char* name) {
    return realFunction("libGL.so.1", name);
}
void* realEgl(const char* name) {
    return realFunction("libEGL.so.1", name);
}

// 99th percentile of the recorded intervals, in ms: the upper edge of its
// bin, or the longest interval when it falls beyond the table.
double intervalP99Ms(uint64_t intervals) {
    if (intervals == 0)
        return 0.0;
    const uint64_t rank = (intervals * 99 + 99) / 100; // ceil(0.99 n), 1-based
    uint64_t seen = 0;
    for (int i = 0; i < kBinCount; ++i) {
        seen += intervalBins[i].load(std::memory_order_relaxed);
        if (seen >= rank && i < kBinCount - 1)
            return static_cast<double>(i + 1) / kBinsPerMs;
    }
    return static_cast<double>(longestNs.load()) / 1e6;
}

void writeRecord() {
    const char* path = std::getenv("KELVARA_SWAPCOUNT_FILE");
    const uint64_t count = swapCount.load();
    if (!path || !*path || count == 0)
        return;
    const int64_t first = firstNs.load();
    const int64_t last = lastNs.load();
    const double seconds = static_cast<double>(last - first) / 1e9;
    const double fps = seconds > 0 ? static_cast<double>(count - 1) / seconds : 0.0;
    char text[512];
    const int n = std::snprintf(
        text, sizeof text,
        "swaps=%llu\nfirst_swap_s=%.6f\nlast_swap_s=%.6f\nrun_seconds=%.3f\nfps=%.1f\n"
        "swap_ms_p99=%.1f\npid=%ld\n",
        static_cast<unsigned long long>(count), static_cast<double>(first) / 1e9,
        static_cast<double>(last) / 1e9, seconds, fps, intervalP99Ms(count - 1), static_cast<long>(getpid()));
    if (n <= 0)
        return;
    // Beside the target and renamed over it: a reader never sees half a record.
    char temp[4096];
    if (std::snprintf(temp, sizeof temp, "%s.%ld.tmp", path, static_cast<long>(getpid())) >=
        static_cast<int>(sizeof temp))
        return;
    const int fd = open(temp, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    const bool whole = write(fd, text, static_cast<size_t>(n)) == n;
    close(fd);
    if (!whole || rename(temp, path) != 0)
        unlink(temp);
}

void writeNowAndThen(int64_t now) {
    if (now - lastWriteNs.load(std::memory_order_relaxed) < kWriteIntervalNs)
        return;
    if (writing.exchange(true))
        return;
    lastWriteNs.store(now, std::memory_order_relaxed);
    writeRecord();
    writing.store(false);
}

struct FinalWrite {
    ~FinalWrite() {
        if (!writing.exchange(true))
            writeRecord();
    }
} finalWrite;

// After each swap has returned: the frame is presented.
void countSwap() {
    const int64_t now = nowNs();
    int64_t expected = 0;
    firstNs.compare_exchange_strong(expected, now);
    const int64_t previous = lastNs.exchange(now);
    if (previous != 0) {
        const int64_t interval = now - previous;
        const int64_t bin = interval * kBinsPerMs / 1'000'000;
        intervalBins[bin < kBinCount ? bin : kBinCount - 1].fetch_add(1, std::memory_order_relaxed);
        int64_t longest = longestNs.load(std::memory_order_relaxed);
        while (interval > longest && !longestNs.compare_exchange_weak(longest, interval)) {
        }
    }
    swapCount.fetch_add(1);
    if (previous == 0)
        lastWriteNs.store(now, std::memory_order_relaxed);
    writeNowAndThen(now);
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) void glXSwapBuffers(OpaqueDisplay* display, GlxDrawable drawable) {
    static SwapFn real = reinterpret_cast<SwapFn>(realGl("glXSwapBuffers"));
    if (real)
        real(display, drawable);
    countSwap();
}

__attribute__((visibility("default"))) unsigned eglSwapBuffers(void* display, void* surface) {
    static EglSwapFn real = reinterpret_cast<EglSwapFn>(realEgl("eglSwapBuffers"));
    const unsigned ok = real ? real(display, surface) : 0;
    countSwap();
    return ok;
}

__attribute__((visibility("default"))) ProcFn eglGetProcAddress(const char* name) {
    if (name && std::strcmp(name, "eglSwapBuffers") == 0)
        return reinterpret_cast<ProcFn>(&eglSwapBuffers);
    static auto real = reinterpret_cast<ProcFn (*)(const char*)>(realEgl("eglGetProcAddress"));
    return real ? real(name) : nullptr;
}

__attribute__((visibility("default"))) ProcFn glXGetProcAddressARB(const unsigned char* name);

__attribute__((visibility("default"))) ProcFn glXGetProcAddress(const unsigned char* name) {
    return glXGetProcAddressARB(name);
}

__attribute__((visibility("default"))) ProcFn glXGetProcAddressARB(const unsigned char* name) {
    if (name && std::strcmp(reinterpret_cast<const char*>(name), "glXSwapBuffers") == 0)
        return reinterpret_cast<ProcFn>(&glXSwapBuffers);
    static GetProcFn real = reinterpret_cast<GetProcFn>(realGl("glXGetProcAddressARB"));
    return real ? real(name) : nullptr;
}

__attribute__((visibility("default"))) void* dlsym(void* handle, const char* name) {
    DlsymFn real = realDlsym();
    void* found = real ? real(handle, name) : nullptr;
    // Only where the caller gets the very function ours passes the call on
    // to: a loader library (glvnd's dispatch) looking up its vendor's own
    // function must keep getting that, or a swap would come back to us.
    struct Substitute {
        const char* name;
        void* ours;
        void* (*next)(const char*);
        const char* nextName;
    };
    static const Substitute substitutes[] = {
        {"glXSwapBuffers", reinterpret_cast<void*>(&glXSwapBuffers), realGl, "glXSwapBuffers"},
        {"glXGetProcAddressARB", reinterpret_cast<void*>(&glXGetProcAddressARB), realGl,
         "glXGetProcAddressARB"},
        {"glXGetProcAddress", reinterpret_cast<void*>(&glXGetProcAddress), realGl, "glXGetProcAddress"},
        {"eglSwapBuffers", reinterpret_cast<void*>(&eglSwapBuffers), realEgl, "eglSwapBuffers"},
        {"eglGetProcAddress", reinterpret_cast<void*>(&eglGetProcAddress), realEgl, "eglGetProcAddress"},
    };
    if (found) {
        for (const Substitute& s : substitutes) {
            if (std::strcmp(name, s.name) == 0 && found == s.next(s.nextName))
                return s.ours;
        }
    }
    return found;
}

} // extern "C"
