// The dialogs' rules on the settings record, without any window: box parsing,
// which field each control edits, radio groups, the trackbar, the resolution
// list and the About box's placement and mail address.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "resources/resource_ids.h"
#include "ui/dialog_logic.h"

using namespace kelvara;

namespace {

const SettingField& fieldNamed(const char* name) {
    for (const SettingField& f : kSettingFields) {
        if (std::strcmp(f.name, name) == 0)
            return f;
    }
    ADD_FAILURE() << "no field " << name;
    return kSettingFields[0];
}

// The names of the fields whose bits differ between two records.
std::vector<std::string> changedFields(const Settings& a, const Settings& b) {
    std::vector<std::string> names;
    for (const SettingField& f : kSettingFields) {
        if (intField(a, f) != intField(b, f)) // same 32 bits either way
            names.emplace_back(f.name);
    }
    return names;
}

double fieldValue(const Settings& s, const char* name) {
    const SettingField& f = fieldNamed(name);
    return f.type == FieldType::Float ? floatField(s, f) : intField(s, f);
}

} // namespace

TEST(DialogLogic, numberBoxReadsTheLeadingDigitsOfItsFirstNineCharacters) {
    EXPECT_EQ(parseNumberBox("12a3"), 12);
    EXPECT_EQ(parseNumberBox(""), 0);
    EXPECT_EQ(parseNumberBox("abc"), 0);
    EXPECT_EQ(parseNumberBox(" 12"), 0); // digits only: a space ends the number
    EXPECT_EQ(parseNumberBox("-12"), 0);
    EXPECT_EQ(parseNumberBox("0007"), 7);
    EXPECT_EQ(parseNumberBox("999999999"), 999999999);
    EXPECT_EQ(parseNumberBox("1234567890"), 123456789);
    EXPECT_EQ(parseNumberBox("99999999999999999999"), 999999999);
    EXPECT_EQ(parseNumberBox("12345678x9"), 12345678);
}

// Each box against the field its row of the layout names.
TEST(DialogLogic, eachNumberBoxEditsItsOwnFieldAndNoOther) {
    const struct {
        int id;
        const char* field;
    } expected[] = {
        {IDC_X_DIV, "x_div"},
        {IDC_Y_DIV, "y_div"},
        {IDC_AMPLITUDE, "xyAmplitude"},
        {IDC_FREQUENCY1, "xyFrequency1"},
        {IDC_FREQUENCY2, "xyFrequency2"},
        {IDC_CHILDREN, "genChildren"},
        {1031, "rotX0"},
        {1030, "rotX1"},
        {1033, "rotY0"},
        {1032, "rotY1"},
        {1035, "rotZ0"},
        {1034, "rotZ1"},
        {1037, "zoom0"},
        {1036, "zoom1"},
    };
    EXPECT_EQ(std::size(expected), kNumberBoxes.size());
    for (const auto& e : expected) {
        SCOPED_TRACE(e.field);
        Settings s;
        const Settings before = s;
        ASSERT_TRUE(applyNumberBox(s, e.id, "12a3"));
        EXPECT_EQ(changedFields(before, s), std::vector<std::string>{e.field});
        EXPECT_EQ(fieldValue(s, e.field), 12.0);

        ASSERT_TRUE(applyNumberBox(s, e.id, ""));
        EXPECT_EQ(fieldValue(s, e.field), 0.0);
    }

    Settings s;
    const Settings before = s;
    EXPECT_FALSE(applyNumberBox(s, IDC_PRIORITY, "3"));
    EXPECT_FALSE(applyNumberBox(s, IDC_RES_WIDTH, "3"));
    EXPECT_TRUE(changedFields(before, s).empty());
}

TEST(DialogLogic, numberBoxShowsTheWholePartOfAField) {
    EXPECT_EQ(numberBoxText(25.9f), "25");
    EXPECT_EQ(numberBoxText(-3.7f), "-3");
    EXPECT_EQ(numberBoxText(0.0f), "0");
    EXPECT_EQ(numberBoxText(std::numeric_limits<float>::quiet_NaN()), "0");
    // The registry's largest float: 4294967295 read back as a float is 2^32.
    EXPECT_EQ(numberBoxText(4294967295.0f), "4294967296");
    EXPECT_EQ(numberBoxText(std::numeric_limits<float>::infinity()), "9223372036854775807");
    EXPECT_EQ(numberBoxText(int32_t{-7}), "-7");
    EXPECT_EQ(numberBoxText(std::numeric_limits<int32_t>::min()), "-2147483648");
    // What a box shows reads back as the same value while the float holds it
    // exactly (up to 2^24)...
    for (int32_t v : {0, 1, 25, 360, 16777216})
        EXPECT_EQ(parseNumberBox(numberBoxText(static_cast<float>(v))), v);
    // ...but nine nines become 10^9 in a float, ten digits: a box filled from
    // the record must not be read back (the dialog skips its own fills).
    EXPECT_EQ(numberBoxText(static_cast<float>(999999999)), "1000000000");
}

TEST(DialogLogic, checkBoxClickTogglesItsFlag) {
    const struct {
        int id;
        const char* field;
    } expected[] = {{IDC_SMOOTH_SHADING, "xyGoraud"},
                    {IDC_FILTERING, "useLinear"},
                    {IDC_ENABLE_MOVEMENT, "enableMovement"},
                    {IDC_OPENGL_LOGO, "useOGL"},
                    {IDC_RANDOM_PRESET, "randPreset"}};
    EXPECT_EQ(std::size(expected), kCheckBoxes.size());
    for (const auto& e : expected) {
        SCOPED_TRACE(e.field);
        Settings s;
        setIntField(s, fieldNamed(e.field), 7); // any non-zero value is on
        const Settings before = s;
        ASSERT_NE(toggleCheckBox(s, e.id), nullptr);
        EXPECT_EQ(changedFields(before, s), std::vector<std::string>{e.field});
        EXPECT_EQ(fieldValue(s, e.field), 0.0);
        toggleCheckBox(s, e.id);
        EXPECT_EQ(fieldValue(s, e.field), 1.0);
    }
    Settings s;
    EXPECT_EQ(toggleCheckBox(s, IDC_MODE_WAVE1), nullptr);
    EXPECT_EQ(toggleCheckBox(s, 1), nullptr); // "OK"
}

TEST(DialogLogic, radioButtonSetsItsValueAndIsTheOneShownForIt) {
    const struct {
        int id;
        const char* field;
        int32_t value;
    } expected[] = {
        {1060, "Mode", 0},
        {1061, "Mode", 1},
        {1062, "Mode", 2},
        {1063, "Mode", 3},
        {1049, "screenTextureWidth", 128},
        {1051, "screenTextureWidth", 256},
        {1050, "screenTextureWidth", 512},
        {1052, "screenTextureWidth", 1024},
        {1054, "screenTextureWidth", 2048},
        {1055, "screenTextureHeight", 128},
        {1057, "screenTextureHeight", 256},
        {1056, "screenTextureHeight", 512},
        {1058, "screenTextureHeight", 1024},
        {1059, "screenTextureHeight", 2048},
    };
    std::size_t buttons = 0;
    for (const RadioGroup* group : kRadioGroups)
        buttons += group->choices.size();
    EXPECT_EQ(std::size(expected), buttons);

    for (const auto& e : expected) {
        SCOPED_TRACE(e.id);
        Settings s;
        s.Mode = 9;
        s.screenTextureWidth = 300;
        s.screenTextureHeight = 300;
        const Settings before = s;
        const RadioGroup* group = applyRadio(s, e.id);
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(changedFields(before, s), std::vector<std::string>{e.field});
        EXPECT_EQ(fieldValue(s, e.field), e.value);
        EXPECT_EQ(radioFor(*group, e.value), e.id);
    }
    Settings s;
    EXPECT_EQ(applyRadio(s, IDC_PRESET_EXPLODE4), nullptr); // 1064 follows the view modes but is a preset
    EXPECT_EQ(applyRadio(s, 1053), nullptr);                // the gap in the width group's ids
}

TEST(DialogLogic, valueWithoutAButtonClearsTheViewModesAndLeavesTheTextureGroups) {
    EXPECT_EQ(radioFor(kViewModeGroup, kWave4), std::nullopt);
    EXPECT_EQ(radioFor(kViewModeGroup, -1), std::nullopt);
    EXPECT_TRUE(kViewModeGroup.clearWhenNoMatch);
    EXPECT_EQ(radioFor(kTextureWidthGroup, 300), std::nullopt);
    EXPECT_FALSE(kTextureWidthGroup.clearWhenNoMatch);
    EXPECT_EQ(radioFor(kTextureHeightGroup, 0), std::nullopt);
    EXPECT_FALSE(kTextureHeightGroup.clearWhenNoMatch);
}

TEST(DialogLogic, controlIdsBelongToOneKindOfControlOnly) {
    std::set<int> seen;
    auto add = [&](int id) { EXPECT_TRUE(seen.insert(id).second) << "id " << id << " used twice"; };
    for (const NumberBox& box : kNumberBoxes) {
        add(box.id);
        EXPECT_NE(box.floatField == nullptr, box.intField == nullptr) << box.id;
    }
    for (const CheckBox& box : kCheckBoxes)
        add(box.id);
    for (const RadioGroup* group : kRadioGroups) {
        for (const RadioChoice& choice : group->choices)
            add(choice.id);
    }
    for (int id : {IDC_PRESET_EXPLODE1,
                   IDC_PRESET_EXPLODE2,
                   IDC_PRESET_EXPLODE3,
                   IDC_PRESET_EXPLODE4,
                   IDC_PRESET_WAVE1,
                   IDC_PRESET_WAVE2,
                   IDC_PRESET_WAVE3,
                   IDC_PRESET_WAVE4,
                   IDC_SAVE_BANK_A,
                   IDC_SAVE_BANK_B,
                   IDC_SAVE_BANK_C,
                   IDC_SAVE_BANK_D,
                   IDC_RECALL_BANK_A,
                   IDC_RECALL_BANK_B,
                   IDC_RECALL_BANK_C,
                   IDC_RECALL_BANK_D,
                   IDC_CHANGE_RESOLUTION,
                   IDC_PRIORITY,
                   IDC_PRIORITY_LABEL,
                   IDC_DEFAULTS,
                   IDC_ABOUT,
                   1,
                   2})
        add(id);
}

TEST(DialogLogic, trackbarStandsWhereItsLabelSays) {
    for (int32_t p = 0; p <= 5; ++p)
        EXPECT_EQ(trackbarPositionFor(p), p);
    // Out of range runs at normal priority: the trackbar shows that step, so
    // "OK" without touching it keeps the thread's priority.
    for (int32_t p : {-1, 6, 9, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()}) {
        SCOPED_TRACE(p);
        const int position = trackbarPositionFor(p);
        EXPECT_GE(position, kTrackbarMin);
        EXPECT_LE(position, kTrackbarMax);
        EXPECT_STREQ(priorityLabel(position), priorityLabel(p));
        EXPECT_EQ(threadPriorityFor(position), threadPriorityFor(p));
    }
}

TEST(DialogLogic, resolutionBoxReadsASignedNumber) {
    EXPECT_EQ(parseResolutionBox("640"), 640);
    EXPECT_EQ(parseResolutionBox("-5"), -5);
    EXPECT_EQ(parseResolutionBox("+12"), 12);
    EXPECT_EQ(parseResolutionBox("  800x600"), 800);
    EXPECT_EQ(parseResolutionBox(""), 0);
    EXPECT_EQ(parseResolutionBox("-"), 0);
    EXPECT_EQ(parseResolutionBox("abc"), 0);
    EXPECT_EQ(parseResolutionBox("2147483647"), 2147483647);
    EXPECT_EQ(parseResolutionBox("-2147483648"), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(parseResolutionBox("2147483648"), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(parseResolutionBox(std::string(60, '9')), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(parseResolutionBox("-" + std::string(60, '9')), std::numeric_limits<int32_t>::min());
    // Only the first 63 characters count.
    EXPECT_EQ(parseResolutionBox(std::string(62, ' ') + "12"), 1);
}

TEST(DialogLogic, resolutionListSelectsTheLastEqualModeOrCustomOrCurrent) {
    const std::vector<std::string> entries = {kCurrentResolutionEntry,
                                              kCustomResolutionEntry,
                                              "640x480x16",
                                              "800x600x16",
                                              "800x600x32",
                                              "800x600x16",
                                              "800x600x160"};
    Settings s;
    s.resW = s.resH = s.resC = 0;
    EXPECT_EQ(initialResolutionSelection(entries, s), kCurrentResolutionIndex);

    s.resW = 800;
    s.resH = 600;
    s.resC = 16;
    EXPECT_EQ(initialResolutionSelection(entries, s), 5);

    s.resC = 24;
    EXPECT_EQ(initialResolutionSelection(entries, s), kCustomResolutionIndex);

    s.resC = 0; // any zero asks for no switch
    EXPECT_EQ(initialResolutionSelection(entries, s), kCurrentResolutionIndex);

    s.resW = -800;
    s.resC = 16;
    EXPECT_EQ(initialResolutionSelection(entries, s), kCustomResolutionIndex);

    const std::vector<std::string> fixedOnly = {kCurrentResolutionEntry, kCustomResolutionEntry};
    s.resW = 800;
    EXPECT_EQ(initialResolutionSelection(fixedOnly, s), kCustomResolutionIndex);
}

TEST(DialogLogic, modeEntryReadsThreeNumbers) {
    const auto mode = parseModeEntry("1024x768x32");
    ASSERT_TRUE(mode.has_value());
    EXPECT_EQ(mode->width, 1024);
    EXPECT_EQ(mode->height, 768);
    EXPECT_EQ(mode->depth, 32);
    for (const char* bad : {"", "Custom (Enter below)", "1024x768", "1024x768x", "x768x32", "1024x768x32x1",
                            "1024 x 768 x 32", "99999999999x1x1"})
        EXPECT_FALSE(parseModeEntry(bad).has_value()) << bad;
}

TEST(DialogLogic, resolutionOkStoresTheChosenMode) {
    Settings s;
    s.resW = 1024;
    s.resH = 768;
    s.resC = 32;
    applyResolutionChoice(s, kCustomResolutionIndex, kCustomResolutionEntry);
    EXPECT_EQ(s.resW, 1024);
    applyResolutionChoice(s, -1, ""); // text typed into the combo box's own field
    EXPECT_EQ(s.resH, 768);

    applyResolutionChoice(s, 3, "800x600x16");
    EXPECT_EQ(s.resW, 800);
    EXPECT_EQ(s.resH, 600);
    EXPECT_EQ(s.resC, 16);

    applyResolutionChoice(s, 4, "not a mode");
    EXPECT_EQ(s.resW, 800);
    EXPECT_EQ(s.resC, 16);

    const Settings before = s;
    applyResolutionChoice(s, kCurrentResolutionIndex, kCurrentResolutionEntry);
    EXPECT_EQ(s.resW, 0);
    EXPECT_EQ(s.resH, 0);
    EXPECT_EQ(s.resC, 0);
    EXPECT_EQ(changedFields(before, s), (std::vector<std::string>{"resW", "resH", "resC"}));
}

TEST(DialogLogic, aboutBoxCentresOnTheDesktop) {
    const ScreenPoint p = centredOrigin(0, 0, 1024, 768, 317, 124);
    EXPECT_EQ(p.x, 353); // 707 / 2, rounded down
    EXPECT_EQ(p.y, 322);
    const ScreenPoint shifted = centredOrigin(-1280, 100, 1280, 1024, 320, 124);
    EXPECT_EQ(shifted.x, -1280 + 480);
    EXPECT_EQ(shifted.y, 100 + 450);
    // A box wider than the desktop overhangs both sides alike.
    const ScreenPoint wide = centredOrigin(0, 0, 100, 100, 301, 100);
    EXPECT_EQ(wide.x, -100);
    EXPECT_EQ(wide.y, 0);
}

TEST(DialogLogic, mailAddressCarriesTheSubject) {
    EXPECT_EQ(mailtoUrl("support@kelvara.org", "Kelvara Question"),
              "mailto:support@kelvara.org?subject=Kelvara%20Question");
    EXPECT_EQ(mailtoUrl("a@b", "x&y=z?#%"), "mailto:a@b?subject=x%26y%3Dz%3F%23%25");
    EXPECT_EQ(mailtoUrl("a@b", "A-z_0.9~"), "mailto:a@b?subject=A-z_0.9~");
}

TEST(DialogLogic, presetButtonsStandForTheirPresetsAndNoOtherIdDoes) {
    const std::pair<int, Preset> buttons[] = {{1025, Preset::Explode1}, {1026, Preset::Explode2},
                                              {1072, Preset::Explode3}, {1064, Preset::Explode4},
                                              {1065, Preset::Wave1},    {1066, Preset::Wave2},
                                              {1067, Preset::Wave3},    {1068, Preset::Wave4}};
    for (const auto& [id, preset] : buttons)
        EXPECT_EQ(presetForButton(id), preset) << id;
    for (int id : {0, 1, 2, -1, 1024, 1027, 1063, 1069, 1070, 1073, 1079, 2003, 1025 + 65536})
        EXPECT_FALSE(presetForButton(id).has_value()) << id;
}

TEST(DialogLogic, bankButtonsStandForBanksAToD) {
    const int save[] = {1079, 1070, 1074, 1076};
    const int recall[] = {1069, 1073, 1075, 1077};
    for (int bank = 0; bank < kBankCount; ++bank) {
        EXPECT_EQ(bankForSaveButton(save[bank]), bank);
        EXPECT_EQ(bankForRecallButton(recall[bank]), bank);
        EXPECT_EQ(bankForSaveButton(recall[bank]), -1);
        EXPECT_EQ(bankForRecallButton(save[bank]), -1);
    }
    for (int id : {0, 1025, 1071, 1078})
        EXPECT_EQ(bankForSaveButton(id) + bankForRecallButton(id), -2) << id;
}
