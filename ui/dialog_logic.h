#pragma once

// What the configuration and resolution dialogs do to the settings, apart from
// the window system: how a box's text becomes a value, which radio button
// stands for a value, which list entry a stored display mode selects. The
// dialog procedures (*_win32.cpp) only move text and check marks between these
// rules and the controls.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "resources/resource_ids.h"
#include "settings/presets.h"
#include "settings/settings.h"

namespace kelvara {

// ---- Number boxes of the configuration dialog --------------------------------

// A number box is read as at most this many characters, so the value stays
// below 10^9 and fits every field.
inline constexpr std::size_t kNumberBoxChars = 9;

// The value of a digits-only box: the decimal digits at the start of its first
// 9 characters, up to the first other character ("12a3" gives 12); 0 when
// there are none, an empty box included.
int32_t parseNumberBox(std::string_view text);

// "%d" of a field as its box shows it; floats are truncated toward zero. A
// float beyond the 32-bit range (the registry keeps floats as unsigned 32-bit
// numbers) is shown whole rather than wrapped; NaN shows 0.
std::string numberBoxText(float value);
std::string numberBoxText(int32_t value);

// One number box and the field it edits: exactly one of the two is set.
struct NumberBox {
    int id;
    float Settings::*floatField;
    int32_t Settings::*intField;
};

// The 14 boxes, in the order the dialog fills them.
extern const std::array<NumberBox, 14> kNumberBoxes;

const NumberBox* findNumberBox(int id);

// Stores the value of `text` in the box's field. False (nothing changed) when
// `id` is no number box.
bool applyNumberBox(Settings& s, int id, std::string_view text);

// ---- Check boxes -------------------------------------------------------------

struct CheckBox {
    int id;
    int32_t Settings::*field;
};

extern const std::array<CheckBox, 5> kCheckBoxes;

const CheckBox* findCheckBox(int id);

// A click: a flag that is on (any non-zero value) goes to 0, 0 goes to 1.
// Returns the box, or nullptr (nothing changed) when `id` is no check box.
const CheckBox* toggleCheckBox(Settings& s, int id);

// ---- Radio button groups -------------------------------------------------------

struct RadioChoice {
    int id;
    int32_t value;
};

struct RadioGroup {
    std::span<const RadioChoice> choices;
    int32_t Settings::*field;
    // What the dialog shows for a value no button stands for: every button of
    // the group clear, or the group left as it was.
    bool clearWhenNoMatch;
};

// View Mode (Mode 0 to 3), texture width and texture height.
extern const RadioGroup kViewModeGroup;
extern const RadioGroup kTextureWidthGroup;
extern const RadioGroup kTextureHeightGroup;
extern const std::array<const RadioGroup*, 3> kRadioGroups;

// The group `id` belongs to, or nullptr.
const RadioGroup* findRadioGroup(int id);

// The button that stands for `value` in the group, if any.
std::optional<int> radioFor(const RadioGroup& group, int32_t value);

// A click on a radio button: sets its group's field to the button's value and
// returns the group (the caller then checks that button and clears the rest);
// nullptr, nothing changed, when `id` is no radio button.
const RadioGroup* applyRadio(Settings& s, int id);

// ---- Preset and bank buttons ----------------------------------------------------

// The preset a button stands for, or nothing for any other id.
std::optional<Preset> presetForButton(int controlId);

// The bank number a "Save Bank" or "Recall Bank" button stands for, or -1 for
// any other id.
int bankForSaveButton(int controlId);
int bankForRecallButton(int controlId);

// ---- Priority trackbar -----------------------------------------------------------

// Trackbar steps 0 to 5.
inline constexpr int kTrackbarMin = 0;
inline constexpr int kTrackbarMax = kPrioritySteps - 1;

// Where the trackbar stands for a stored `Priority`. A value outside 0..5 runs
// the render thread at normal priority and is labelled "Normal", so the
// trackbar shows "Normal" too: "OK" then stores the step that behaves as the
// stored value did, rather than whichever end the trackbar was pushed to.
int trackbarPositionFor(int32_t priority);

// ---- Resolution dialog -----------------------------------------------------------

// The combo box's two fixed entries, before the display's modes.
inline constexpr const char* kCurrentResolutionEntry = "Current Resolution";
inline constexpr const char* kCustomResolutionEntry = "Custom (Enter below)";
inline constexpr int kCurrentResolutionIndex = 0;
inline constexpr int kCustomResolutionIndex = 1;
inline constexpr int kFirstModeIndex = 2;

// A resolution box is read as at most this many characters.
inline constexpr std::size_t kResolutionBoxChars = 63;

// The value of a resolution box: optional leading white space and sign, then
// decimal digits up to the first other character; no digits give 0. A number
// beyond the 32-bit range gives the nearest end of the range.
int32_t parseResolutionBox(std::string_view text);

// The entry the combo box selects when the dialog opens, given every entry
// (the two fixed ones first): the last mode entry whose text equals the stored
// mode's, else "Custom", when resW, resH and resC are all non-zero; otherwise
// "Current Resolution".
int initialResolutionSelection(std::span<const std::string> entries, const Settings& s);

// Width, height and depth read from a mode entry's "WxHxD" text; nothing when
// the text is not three decimal numbers of 32 bits joined by 'x'.
struct ResolutionTriple {
    int32_t width;
    int32_t height;
    int32_t depth;
};
std::optional<ResolutionTriple> parseModeEntry(std::string_view text);

// "OK" of the resolution dialog: `selected` is the combo box's selected index
// (negative for none, as when text was typed into its own edit field) and
// `selectedText` that entry's text. "Current Resolution" clears the mode,
// "Custom" or no selection keeps what the boxes stored, a mode entry sets its
// three numbers (an entry that does not read as a mode keeps the boxes').
void applyResolutionChoice(Settings& s, int selected, std::string_view selectedText);

// ---- About box -------------------------------------------------------------------

// Top-left corner that centres a box of the given size on the desktop, with
// integer division as the window system does.
struct ScreenPoint {
    int x;
    int y;
};
ScreenPoint centredOrigin(int desktopLeft, int desktopTop, int desktopWidth, int desktopHeight, int boxWidth,
                          int boxHeight);

// A "mailto:" address that opens a new message with the given subject; the
// subject is percent-encoded, so spaces and reserved characters survive.
std::string mailtoUrl(std::string_view address, std::string_view subject);

} // namespace kelvara
