#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

namespace kelvara {

// A value of a setting that has a name of its own.
struct SettingChoice {
    int32_t value;
    const char* label;
};

// What kind of value a setting takes: any number within its range, a flag
// (0 off, anything else on) or one of a few named values.
enum class SettingKind { Number, Flag, Choice };

struct SettingValues {
    SettingKind kind;
    std::span<const SettingChoice> choices; // Choice only
};

inline constexpr SettingChoice kPriorityChoices[] = {{0, "Lowest"},  {1, "Below Normal"},
                                                     {2, "Normal"},  {3, "Above Normal"},
                                                     {4, "Highest"}, {5, "Time Critical"}};
inline constexpr SettingChoice kModeChoices[] = {
    {0, "Explode"}, {1, "Wave1"}, {2, "Wave2"}, {3, "Wave3"}, {4, "Oval rings"}};
inline constexpr SettingChoice kTextureSideChoices[] = {
    {128, "128"}, {256, "256"}, {512, "512"}, {1024, "1024"}, {2048, "2048"}};

inline constexpr SettingValues kNumber{SettingKind::Number, {}};
inline constexpr SettingValues kFlag{SettingKind::Flag, {}};
inline constexpr SettingValues kPriorityValues{SettingKind::Choice, kPriorityChoices};
inline constexpr SettingValues kModeValues{SettingKind::Choice, kModeChoices};
inline constexpr SettingValues kTextureSideValues{SettingKind::Choice, kTextureSideChoices};

// The one table of the user settings, in their stored (load/save) order:
// name, C++ type, default, the sensible range (low..high: the values that do
// what the meaning says; nothing refuses others), unit, kind of value, label
// and meaning. The record, its defaults, the load/save order, the command-line
// options and their help, the manual page and the XScreenSaver option file all
// derive from it. The scene's units: the picture is 1024 by 768 units.
#define KELVARA_SETTINGS(X)                                                                                  \
    X(Priority, int32_t, 2, 0, 5, "", kPriorityValues, "Drawing thread priority",                            \
      "Priority of the thread that draws. On Linux 0 and 1 lower it (nice 10 and 5) and 2 and above draw "   \
      "at normal priority; a value outside the steps counts as Normal.")                                     \
    X(x_div, float, 25, 2, 256, "columns", kNumber, "Grid columns",                                          \
      "Columns of the grid the picture is cut into (Explode) or drawn on (the waves): more is finer and "    \
      "slower. Above 256 counts as 256.")                                                                    \
    X(y_div, float, 19, 2, 256, "rows", kNumber, "Grid rows",                                                \
      "Rows of the grid the picture is cut into (Explode) or drawn on (the waves). Above 256 counts as "     \
      "256.")                                                                                                \
    X(xyAmplitude, float, 10, 0, 200, "units", kNumber, "Wave height",                                       \
      "Height of the waves, in units of the 1024-unit-wide picture: Wave1 rises to twice this, the oval "    \
      "rings to three times. 0 keeps the surface flat.")                                                     \
    X(xyFrequency1, float, 10, 0, 100, "", kNumber, "Wave speed across",                                     \
      "Speed of the wave running across the picture (Wave1, Wave2) or of the rings (Wave3, oval rings): "    \
      "a wave passes every 25.1/N seconds. 0 stops it.")                                                     \
    X(xyFrequency2, float, 10, 0, 100, "", kNumber, "Wave speed down",                                       \
      "Speed of the wave running down the picture (Wave1, Wave2; the rings ignore it): a wave passes every " \
      "25.1/N seconds. 0 stops it.")                                                                         \
    X(xySizeX, float, 60, 0, 500, "", kNumber, "Wave density across",                                        \
      "How closely the waves follow each other across the picture: larger is shorter. Wave1's waves are "    \
      "62832/N units long (60: about the picture's width); Wave3 and the oval rings get more rings. Wave2 "  \
      "ignores it.")                                                                                         \
    X(xySizeY, float, 60, 0, 500, "", kNumber, "Wave density down",                                          \
      "How closely the waves follow each other down the picture, as xySizeX across it.")                     \
    X(Mode, int32_t, 0, 0, 4, "", kModeValues, "View mode",                                                  \
      "What the picture does: Explode bursts it into tumbling pieces that split into smaller ones; the "     \
      "waves ripple it as a lit surface (Wave1 two crossing waves, Wave2 a choppy ripple, Wave3 rings from " \
      "the centre, 4 oval rings three times as high). Any other value shows it flat.")                       \
    X(genChildren, int32_t, 2, 0, 16, "pieces", kNumber, "Pieces per split",                                 \
      "Pieces a piece of the Explode splits into when it comes to rest, for a few generations; 0 makes no "  \
      "split. Above 16 counts as 16.")                                                                       \
    X(xyGoraud, int32_t, 1, 0, 1, "", kFlag, "Smooth shading",                                               \
      "Light the wave surface smoothly, with normals averaged over neighbouring cells; off lights each "     \
      "cell flat.")                                                                                          \
    X(useLinear, int32_t, 1, 0, 1, "", kFlag, "Smooth texture filtering",                                    \
      "Filter the picture linearly; off shows its texels as blocks.")                                        \
    X(screenTextureWidth, int32_t, 512, 128, 2048, "texels", kTextureSideValues, "Picture width",            \
      "Width the picture of the desktop is scaled to for drawing: larger is sharper and slower to take.")    \
    X(screenTextureHeight, int32_t, 256, 128, 2048, "texels", kTextureSideValues, "Picture height",          \
      "Height the picture of the desktop is scaled to for drawing.")                                         \
    X(useTrails, int32_t, 0, 0, 1, "", kFlag, "Trails (no effect)",                                          \
      "Kept with the settings and in the user banks; it changes nothing.")                                   \
    X(enableMovement, int32_t, 1, 0, 1, "", kFlag, "Move the camera",                                        \
      "Swing the picture about its three axes and zoom it, as rotX0 to zoom1 say; off keeps it square on "   \
      "at zoom 1.")                                                                                          \
    X(rotX0, float, 10, 0, 360, "degrees", kNumber, "Tilt amplitude",                                        \
      "Tilt about the horizontal (X) axis: the picture swings between -N and +N degrees.")                   \
    X(rotX1, float, 30, 0, 100, "", kNumber, "Tilt swing time",                                              \
      "Time of the tilt's swing, larger is slower: there and back takes N*N/15 seconds (30: 60 s). Below 1 " \
      "holds the tilt at +rotX0.")                                                                           \
    X(rotY0, float, 10, 0, 360, "degrees", kNumber, "Turn amplitude",                                        \
      "Turn about the vertical (Y) axis: the picture swings between -N and +N degrees.")                     \
    X(rotY1, float, 25, 0, 100, "", kNumber, "Turn swing time",                                              \
      "Time of the turn's swing, larger is slower: there and back takes N*N/15 seconds (25: 42 s). Below 1 " \
      "holds the turn at +rotY0.")                                                                           \
    X(rotZ0, float, 45, 0, 3600, "degrees", kNumber, "Roll amplitude",                                       \
      "Roll in the picture's plane (about Z): it swings between -N and +N degrees; above 180 it spins "      \
      "round.")                                                                                              \
    X(rotZ1, float, 20, 0, 100, "", kNumber, "Roll swing time",                                              \
      "Time of the roll's swing, larger is slower: there and back takes N*N/15 seconds (20: 27 s). Below 1 " \
      "holds the roll at +rotZ0.")                                                                           \
    X(zoom0, float, 25, 1, 100, "tenths", kNumber, "Zoom amplitude",                                         \
      "Zoom range in tenths: the zoom swings between 10/N and N/10 times (25: 0.4 to 2.5). 10 or less "      \
      "holds it at N/10.")                                                                                   \
    X(zoom1, float, 20, 0, 100, "", kNumber, "Zoom swing time",                                              \
      "Time of the zoom's swing, larger is slower: there and back takes N*N/15 seconds (20: 27 s). Below 1 " \
      "holds the zoom at zoom0/10.")                                                                         \
    X(useOGL, int32_t, 0, 0, 1, "", kFlag, "Show the logo",                                                  \
      "Show the built-in logo instead of the desktop; no picture of the desktop is taken.")                  \
    X(randPreset, int32_t, 0, 0, 1, "", kFlag, "Random preset",                                              \
      "Start each run with one of the eight presets, picked at random; the run stores it as the "            \
      "settings.")                                                                                           \
    X(resW, int32_t, 0, 0, 16384, "pixels", kNumber, "Display width",                                        \
      "Display width to switch to while the saver runs; a switch needs resW, resH and resC all non-zero "    \
      "(--list-modes shows the modes). 0 keeps the display as it is.")                                       \
    X(resH, int32_t, 0, 0, 16384, "pixels", kNumber, "Display height",                                       \
      "Display height to switch to while the saver runs (see resW).")                                        \
    X(resC, int32_t, 0, 0, 32, "bits", kNumber, "Display colour depth",                                      \
      "Colour depth, in bits per pixel, to switch to while the saver runs (see resW).")

// Everything a user can adjust. Floats hold whole numbers when the program
// itself wrote them; nothing here is validated, so every reader must cope with
// any value (see scene/limits.h for how the scene bounds them).
struct Settings {
#define KELVARA_DECLARE_FIELD(name, type, def, ...) type name = def;
    KELVARA_SETTINGS(KELVARA_DECLARE_FIELD)
#undef KELVARA_DECLARE_FIELD
};

enum class FieldType { Int, Float };

struct SettingField {
    const char* name;
    FieldType type;
    std::size_t offset;
    int32_t defaultValue;
    int32_t low; // the sensible range, both ends included
    int32_t high;
    const char* unit; // plural, or "" when the meaning gives the scale
    SettingValues values;
    const char* label;   // a few words for a dialog
    const char* meaning; // sentences: what the value does
};

#define KELVARA_COUNT_FIELD(...) +1
inline constexpr std::size_t kSettingCount = 0 KELVARA_SETTINGS(KELVARA_COUNT_FIELD);
#undef KELVARA_COUNT_FIELD

// The settings in stored order, with where each lives in the record.
inline constexpr std::array<SettingField, kSettingCount> kSettingFields = {{
#define KELVARA_FIELD_ENTRY(name, type, def, low, high, unit, values, label, meaning)                        \
    {#name,                                                                                                  \
     static_cast<type>(0.5) != 0 ? FieldType::Float : FieldType::Int,                                        \
     offsetof(Settings, name),                                                                               \
     def,                                                                                                    \
     low,                                                                                                    \
     high,                                                                                                   \
     unit,                                                                                                   \
     values,                                                                                                 \
     label,                                                                                                  \
     meaning},
    KELVARA_SETTINGS(KELVARA_FIELD_ENTRY)
#undef KELVARA_FIELD_ENTRY
}};

// The position of a setting in kSettingFields, or kSettingCount when no
// setting has that name.
constexpr std::size_t settingIndex(std::string_view name) {
    for (std::size_t i = 0; i < kSettingFields.size(); ++i)
        if (name == kSettingFields[i].name)
            return i;
    return kSettingCount;
}

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

// How much of the processor the render thread asks for, one for each step of
// the `Priority` setting; each platform maps them onto what it has in its own
// file (a thread priority, a nice value).
enum class ThreadPriority { Lowest, BelowNormal, Normal, AboveNormal, Highest, TimeCritical };

inline constexpr int32_t kPrioritySteps = static_cast<int32_t>(std::size(kPriorityChoices));

// Label shown beside the priority trackbar. A stored value outside 0..5 runs at
// normal priority, so it is labelled "Normal" as well.
const char* priorityLabel(int32_t priority);

// Thread priority the render thread gets for a `Priority` step; any value
// outside 0..5 gives normal priority.
ThreadPriority threadPriorityFor(int32_t priority);

// True when the settings ask for a display mode switch (all three non-zero).
inline bool wantsDisplaySwitch(const Settings& s) {
    return s.resW != 0 && s.resH != 0 && s.resC != 0;
}

} // namespace kelvara
