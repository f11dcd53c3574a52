// CPU cost of one frame of the scene, without a GL driver: the wave (heights,
// normals, emission) on the default and a fine grid, and the explode at its
// busiest. Heap allocations per frame are reported beside the time; the frame
// is meant to allocate nothing in the wave modes.
#include <benchmark/benchmark.h>

#include <GL/gl.h>

#include "alloc_counter.h"
#include "capture/capture_scale.h"
#include "recording_gl.h"
#include "scene/explode.h"
#include "scene/grid_mesh.h"
#include "scene/random.h"
#include "scene/wave.h"

namespace {

using namespace kelvara;

constexpr float kFrameSeconds = 1.0f / 60.0f;

void reportPerFrame(benchmark::State& state, std::size_t allocations) {
    state.counters["allocs/frame"] =
        benchmark::Counter(static_cast<double>(allocations), benchmark::Counter::kAvgIterations);
    state.counters["glcalls/frame"] =
        benchmark::Counter(static_cast<double>(glrec::callCount()), benchmark::Counter::kAvgIterations);
}

// Arguments: Mode, x_div, y_div.
Settings waveSettings(const benchmark::State& state) {
    Settings s;
    s.Mode = static_cast<int32_t>(state.range(0));
    s.x_div = static_cast<float>(state.range(1));
    s.y_div = static_cast<float>(state.range(2));
    return s;
}

void waveFrame(benchmark::State& state) {
    const Settings s = waveSettings(state);
    GridMesh grid;
    grid.rebuild(s);
    float seconds = 0.0f;
    glrec::setMode(glrec::Mode::Count);
    glrec::reset();
    const std::size_t before = kelvara::testing::allocationCount();
    for (auto _ : state) {
        grid.draw(s);
        applyWave(grid, s, seconds);
        seconds += kFrameSeconds;
        benchmark::ClobberMemory();
    }
    reportPerFrame(state, kelvara::testing::allocationCount() - before);
    state.counters["vertices"] = static_cast<double>(grid.positions.size());
}

// The two halves of a wave frame on their own, to see where the time goes.
void waveHeights(benchmark::State& state) {
    const Settings s = waveSettings(state);
    GridMesh grid;
    grid.rebuild(s);
    float seconds = 0.0f;
    for (auto _ : state) {
        applyWave(grid, s, seconds);
        seconds += kFrameSeconds;
        benchmark::ClobberMemory();
    }
}

// Arguments: x_div, y_div. Smooth shading, on a displaced grid.
void gridDraw(benchmark::State& state) {
    Settings s;
    s.Mode = kWave1;
    s.x_div = static_cast<float>(state.range(0));
    s.y_div = static_cast<float>(state.range(1));
    GridMesh grid;
    grid.rebuild(s);
    applyWave(grid, s, 1.0f);
    glrec::setMode(glrec::Mode::Count);
    glrec::reset();
    for (auto _ : state) {
        grid.draw(s);
        benchmark::ClobberMemory();
    }
    reportPerFrame(state, 0);
}

// The GL stand-in's own cost for the calls a smooth grid draw makes, with no
// scene arithmetic: subtract it from gridDraw for the mesh's share.
void standInFloor(benchmark::State& state) {
    const long cells = (state.range(0) - 1) * (state.range(1) - 1);
    const Vec3 v(1.0f, 2.0f, 3.0f);
    glrec::setMode(glrec::Mode::Count);
    glrec::reset();
    for (auto _ : state) {
        glBegin(GL_QUADS);
        for (long k = 0; k < cells * 4; ++k) {
            glNormal3fv(v.data());
            glTexCoord2f(v.x, v.y);
            glVertex3fv(v.data());
        }
        glEnd();
        benchmark::ClobberMemory();
    }
    reportPerFrame(state, 0);
}

// One explode frame as the frame loop runs it, at a steady 60 frames a second.
void explodeFrame(ShardList& shards, const Settings& s, Rng& rng) {
    for (std::size_t k = 0; k < shards.size(); ++k)
        shards[k].draw();
    for (std::size_t k = 0; k < shards.size(); ++k)
        shards[k].update(kFrameSeconds * 25.0f, kRestThreshold);
    explodeStep(shards, s, rng);
}

// The explode with default settings around its most crowded frame: a dry run
// finds when the list is longest, a second run stops short of it, and the
// measured frames straddle the peak.
constexpr int kMeasuredFrames = 300;
constexpr int kDryRunFrames = 3000;

void explodeBusiest(benchmark::State& state) {
    const Settings s;
    glrec::setMode(glrec::Mode::Count);

    int peakFrame = 0;
    std::size_t peakShards = 0;
    {
        ShardList shards;
        Rng rng;
        seedRenderRandom(rng, 12345);
        for (int frame = 0; frame < kDryRunFrames; ++frame) {
            explodeFrame(shards, s, rng);
            if (shards.size() > peakShards) {
                peakShards = shards.size();
                peakFrame = frame;
            }
        }
    }

    ShardList shards;
    Rng rng;
    seedRenderRandom(rng, 12345);
    for (int frame = 0; frame < peakFrame - kMeasuredFrames / 2; ++frame)
        explodeFrame(shards, s, rng);

    glrec::reset();
    std::size_t shardFrames = 0;
    const std::size_t before = kelvara::testing::allocationCount();
    for (auto _ : state) {
        shardFrames += shards.size();
        explodeFrame(shards, s, rng);
    }
    reportPerFrame(state, kelvara::testing::allocationCount() - before);
    state.counters["shards"] =
        benchmark::Counter(static_cast<double>(shardFrames), benchmark::Counter::kAvgIterations);
    state.counters["peakShards"] = static_cast<double>(peakShards);
}

void waveArguments(benchmark::internal::Benchmark* b) {
    b->ArgNames({"mode", "x", "y"});
    for (const int mode : {kWave1, kWave2, kWave3, kWave4})
        for (const auto& [x, y] : {std::pair{25, 19}, std::pair{80, 60}})
            b->Args({mode, x, y});
}

} // namespace

void gridArguments(benchmark::internal::Benchmark* b) {
    b->ArgNames({"x", "y"});
    b->Args({25, 19});
    b->Args({80, 60});
}

// The desktop's picture (a 1024 x 768 screen, 32-bit pixels as X servers
// hand them out) scaled to a texture: the default 512 x 256 and the largest
// usual 2048 x 2048. Part of every start-up.
void captureScale(benchmark::State& state) {
    const int32_t width = 1024, height = 768;
    std::vector<uint8_t> pixels(static_cast<std::size_t>(width) * height * 4);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
    kelvara::PackedImage image{pixels.data(), width, height, width * 4, 4, false, 0xff0000u, 0xff00u, 0xffu};
    kelvara::CaptureBuffer out;
    for (auto _ : state) {
        kelvara::scaleToCapture(image, static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)), out);
        benchmark::DoNotOptimize(out.bgr.data());
    }
}
BENCHMARK(captureScale)->Args({512, 256})->Args({2048, 2048})->Unit(benchmark::kMillisecond);

BENCHMARK(waveFrame)->Apply(waveArguments)->Unit(benchmark::kMicrosecond);
BENCHMARK(waveHeights)->Apply(waveArguments)->Unit(benchmark::kMicrosecond);
BENCHMARK(gridDraw)->Apply(gridArguments)->Unit(benchmark::kMicrosecond);
BENCHMARK(standInFloor)->Apply(gridArguments)->Unit(benchmark::kMicrosecond);
BENCHMARK(explodeBusiest)->Iterations(kMeasuredFrames)->Repetitions(5)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
