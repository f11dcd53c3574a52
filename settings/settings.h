#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelvara {

// The one table of the 29 user settings, in their stored (load/save) order:
// name, C++ type, default. Defaults, the load/save order, user banks, the
// command-line options and the option files all derive from this list.
#define KELVARA_SETTINGS(X)                                                                                  \
    X(Priority, int32_t, 2)                                                                                  \
    X(x_div, float, 25)                                                                                      \
    X(y_div, float, 19)                                                                                      \
    X(xyAmplitude, float, 10)                                                                                \
    X(xyFrequency1, float, 10)                                                                               \
    X(xyFrequency2, float, 10)                                                                               \
    X(xySizeX, float, 60)                                                                                    \
    X(xySizeY, float, 60)                                                                                    \
    X(Mode, int32_t, 0)                                                                                      \
    X(genChildren, int32_t, 2)                                                                               \
    X(xyGoraud, int32_t, 1)                                                                                  \
    X(useLinear, int32_t, 1)                                                                                 \
    X(screenTextureWidth, int32_t, 512)                                                                      \
    X(screenTextureHeight, int32_t, 256)                                                                     \
    X(useTrails, int32_t, 0)                                                                                 \
    X(enableMovement, int32_t, 1)                                                                            \
    X(rotX0, float, 10)                                                                                      \
    X(rotX1, float, 30)                                                                                      \
    X(rotY0, float, 10)                                                                                      \
    X(rotY1, float, 25)                                                                                      \
    X(rotZ0, float, 45)                                                                                      \
    X(rotZ1, float, 20)                                                                                      \
    X(zoom0, float, 25)                                                                                      \
    X(zoom1, float, 20)                                                                                      \
    X(useOGL, int32_t, 0)                                                                                    \
    X(randPreset, int32_t, 0)                                                                                \
    X(resW, int32_t, 0)                                                                                      \
    X(resH, int32_t, 0)                                                                                      \
    X(resC, int32_t, 0)

// Everything a user can adjust. Floats hold whole numbers when the program
// itself wrote them; nothing here is validated, so every reader must cope with
// any value (see scene/limits.h for how the scene bounds them).
struct Settings {
#define KELVARA_DECLARE_FIELD(name, type, def) type name = def;
    KELVARA_SETTINGS(KELVARA_DECLARE_FIELD)
#undef KELVARA_DECLARE_FIELD
};

enum class FieldType { Int, Float };

struct SettingField {
    const char* name;
    FieldType type;
    std::size_t offset;
    int32_t defaultValue;
};

inline constexpr std::size_t kSettingCount = 29;

// The settings in stored order, with where each lives in the record.
extern const std::array<SettingField, kSettingCount> kSettingFields;

// A field of the record through the table, for code that walks all of them
// (stores, banks, option lists). The caller picks the accessor matching
// field.type; the bytes are copied, so no aliasing rule is bent.
inline int32_t intField(const Settings& s, const SettingField& field) {
    int32_t v;
    std::memcpy(&v, reinterpret_cast<const char*>(&s) + field.offset, sizeof v);
    return v;
}
inline float floatField(const Settings& s, const SettingField& field) {
    float v;
    std::memcpy(&v, reinterpret_cast<const char*>(&s) + field.offset, sizeof v);
    return v;
}
inline void setIntField(Settings& s, const SettingField& field, int32_t v) {
    std::memcpy(reinterpret_cast<char*>(&s) + field.offset, &v, sizeof v);
}
inline void setFloatField(Settings& s, const SettingField& field, float v) {
    std::memcpy(reinterpret_cast<char*>(&s) + field.offset, &v, sizeof v);
}

// Puts every field back to its default, the display mode included.
void setDefaults(Settings& s);

// Values of ViewMode (the `Mode` setting). 4 is a fourth wave formula that no
// dialog offers; any other non-zero value shows the grid flat.
enum ViewMode : int32_t { kExplode = 0, kWave1 = 1, kWave2 = 2, kWave3 = 3, kWave4 = 4 };

// Thread priorities by their Windows values, so the portable table can name
// them; the platform maps them onto what it has.
inline constexpr int kThreadPriorityLowest = -2;
inline constexpr int kThreadPriorityBelowNormal = -1;
inline constexpr int kThreadPriorityNormal = 0;
inline constexpr int kThreadPriorityAboveNormal = 1;
inline constexpr int kThreadPriorityHighest = 2;
inline constexpr int kThreadPriorityTimeCritical = 15;

inline constexpr int32_t kPrioritySteps = 6;

// Label shown beside the priority trackbar. A stored value outside 0..5 runs at
// normal priority, so it is labelled "Normal" as well.
const char* priorityLabel(int32_t priority);

// Thread priority the render thread gets for a `Priority` step; any value
// outside 0..5 gives normal priority.
int threadPriorityFor(int32_t priority);

// True when the settings ask for a display mode switch (all three non-zero).
inline bool wantsDisplaySwitch(const Settings& s) { return s.resW != 0 && s.resH != 0 && s.resC != 0; }

} // namespace kelvara
