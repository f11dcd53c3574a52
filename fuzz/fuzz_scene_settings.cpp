// Settings of any value, as a store could hold them, through the render
// thread's start-up and a few frames, with GL only counting calls. Finds
// settings that crash the scene, make a frame take too long or make it
// allocate without bound (libFuzzer's -timeout and -malloc_limit_mb).
//
// Input: frames (1 byte, 1..4), clock start in ms (4), clock step per
// reading in ms (2), random seed (4), then any number of 5-byte records:
// a field index (taken modulo the number of settings) and the stored 32 bits.
#include <atomic>
#include <cstring>

#include "fuzz_check.h"
#include "recording_gl.h"
#include "render/render_thread.h"
#include "scene/limits.h"
#include "settings/settings_store.h"
#include "settings/store_memory.h"

using namespace kelvara;

namespace {

uint32_t readLe(const uint8_t* p, std::size_t n) {
    uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v |= static_cast<uint32_t>(p[i]) << (8 * i);
    return v;
}

constexpr std::size_t kHeader = 11;
constexpr std::size_t kRecord = 5;
constexpr int32_t kCaptureWidth = 16;
constexpr int32_t kCaptureHeight = 8;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size < kHeader)
        return 0;
    const int frames = 1 + data[0] % 4;
    const double clockStart = readLe(data + 1, 4);
    const double clockStep = readLe(data + 5, 2);
    const uint32_t seed = readLe(data + 7, 4);

    MemoryStore store;
    for (std::size_t at = kHeader; at + kRecord <= size; at += kRecord)
        store.set(kSettingFields[data[at] % kSettingCount].name, readLe(data + at + 1, 4));

    Settings settings;
    loadSettings(settings, store);
    const Settings loaded = settings;

    glrec::setMode(glrec::Mode::Count);
    glrec::reset();

    // The capture the host would hand over (its size does not matter to the
    // counting GL, only that it holds a picture).
    CaptureBuffer capture;
    capture.width = kCaptureWidth;
    capture.height = kCaptureHeight;
    capture.bgr.assign(static_cast<std::size_t>(kCaptureWidth) * kCaptureHeight * 3, 0x40);

    double now = clockStart;
    Scene scene([&now, clockStep] {
        const double t = now;
        now += clockStep;
        return t;
    });
    int swaps = 0;
    RenderSurface surface{640, 480, [&swaps] { ++swaps; }};
    std::atomic<int> running{1};
    runRenderLoop(scene, settings, capture, surface, seed, running, watchingFrames([&](uint64_t n) {
                      if (n >= static_cast<uint64_t>(frames))
                          running.store(0);
                  }));

    KELVARA_FUZZ_CHECK(swaps == frames);
    KELVARA_FUZZ_CHECK(capture.bgr.empty() && capture.width == 0); // handed over and freed
    KELVARA_FUZZ_CHECK(scene.shards.size() <= kMaxShards);
    const std::size_t maxVertices = static_cast<std::size_t>(kMaxDivisions + 1) * (kMaxDivisions + 1);
    KELVARA_FUZZ_CHECK(scene.grid.positions.size() <= maxVertices);
    // Only a random preset may change the record.
    if (loaded.randPreset == 0)
        KELVARA_FUZZ_CHECK(std::memcmp(&settings, &loaded, sizeof(Settings)) == 0);
    return 0;
}
