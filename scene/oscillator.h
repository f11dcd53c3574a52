#pragma once

#include <cstdint>

namespace kelvara {

// A value that swings back and forth between two bounds as its phase runs.
// Field order and arithmetic are fixed: the camera's motion depends on every
// float rounding here, and both builds must agree.
struct Oscillator {
    float low = 0.0f;
    float high = 0.0f;     // also the value held for ever when rate is 0
    float rate = 0.0f;     // (high - low) / count, or 0
    float invCount = 0.0f; // 1 / count, or 0
    float phase = 0.0f;    // phase units; moves by the caller's delta per advance
    int32_t count = 0;     // the "Time" setting truncated to an integer
    int32_t rising = 1;    // 1 while the phase grows

    void configure(float lowBound, float highBound, float time);
    // Bounds 1 / amplitude and amplitude (a zoom factor and its inverse).
    void configureZoom(float amplitude, float time);
    // Returns the value for the phase held before this call, then moves it.
    float advance(float delta);
};

} // namespace kelvara
