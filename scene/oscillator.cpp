#include "scene/oscillator.h"

#include "scene/limits.h"

namespace kelvara {

namespace {

// Shared by both set-ups: count from the time, phase starting half-way through.
void startPhase(Oscillator& o, float time) {
    o.rising = 1;
    o.count = truncToInt(time);
    o.phase = static_cast<float>(o.count / 2);
}

} // namespace

void Oscillator::configure(float lowBound, float highBound, float time) {
    low = lowBound;
    high = highBound;
    startPhase(*this, time);
    if (count != 0) {
        invCount = 1.0f / static_cast<float>(count);
        rate = (high - low) / static_cast<float>(count);
    } else {
        invCount = 0.0f;
        rate = 0.0f;
    }
}

void Oscillator::configureZoom(float amplitude, float time) {
    high = amplitude;
    low = 1.0f / amplitude;
    startPhase(*this, time);
    if (count != 0) {
        invCount = 1.0f / static_cast<float>(count);
        rate = amplitude > low ? (amplitude - low) / static_cast<float>(count) : 0.0f;
    } else {
        invCount = 0.0f;
        rate = 0.0f;
    }
}

float Oscillator::advance(float delta) {
    if (rate == 0.0f)
        return high;
    const float v = invCount * phase * rate;
    if (rising == 1) {
        if (v > high)
            rising = 0;
        phase = phase + delta;
    } else {
        if (v < low)
            rising = 1;
        phase = phase - delta;
    }
    return v;
}

} // namespace kelvara
