#pragma once

#include <cstdint>

namespace kelvara {

// The scene's pseudo-random source: a linear congruential generator whose draws
// are bits 16..30 of the state (0..32767). Implemented here rather than taken
// from the C runtime so both builds draw the same sequence from the same seed.
class Rng {
  public:
    static constexpr int kMax = 32767;

    explicit Rng(uint32_t seed = 1) : state_(seed) {}

    void seed(uint32_t s) { state_ = s; }

    int next() {
        state_ = state_ * 214013u + 2531011u; // wraps mod 2^32 by unsigned arithmetic
        return static_cast<int>((state_ >> 16) & 0x7fffu);
    }

    uint32_t state() const { return state_; }

  private:
    uint32_t state_;
};

// What the render thread does at start: seed from a clock reading and throw the
// first two draws away.
inline void seedRenderRandom(Rng& rng, uint32_t seed) {
    rng.seed(seed);
    rng.next();
    rng.next();
}

} // namespace kelvara
