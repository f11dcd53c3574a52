#pragma once

namespace kelvara {

// Three 32-bit floats; the scene's arithmetic is single precision throughout so
// that both builds produce the same numbers.
struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vec3() = default;
    constexpr Vec3(float ax, float ay, float az) : x(ax), y(ay), z(az) {}

    constexpr void set(float ax, float ay, float az) {
        x = ax;
        y = ay;
        z = az;
    }

    // Pointer to x, y, z laid out contiguously, for glVertex3fv and friends.
    const float* data() const { return &x; }

    friend constexpr bool operator==(const Vec3&, const Vec3&) = default;
};

static_assert(sizeof(Vec3) == 3 * sizeof(float), "Vec3 must pack as three floats for the GL *3fv calls");

} // namespace kelvara
