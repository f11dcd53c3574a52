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
#include "unit/dialog_template.h"
#include "unit/setting_values.h"

using namespace kelvara;
using kelvara::test::DialogTemplate;
using kelvara::test::TemplateControl;
using kelvara::test::fieldValue;

namespace {

const DialogTemplate& configTemplate() {
    static const DialogTemplate d = test::readDialogTemplate("IDD_CONFIG");
    return d;
}

int idOf(const char* text) {
    const TemplateControl* c = configTemplate().withText(text);
    return c ? c->id : 0;
}

// The number boxes on the row of a label saying `label`, left to right, up to
// the next label on that row.
std::vector<int> boxesBeside(const char* label) {
    std::vector<const TemplateControl*> row;
    const std::vector<TemplateControl>& controls = configTemplate().controls;
    for (const TemplateControl& l : controls) {
        if (l.statement != "LTEXT" || l.text != label)
            continue;
        int end = std::numeric_limits<int>::max();
        for (const TemplateControl& c : controls)
            if (c.statement == "LTEXT" && c.y == l.y && c.x > l.x)
                end = std::min(end, c.x);
        for (const TemplateControl& c : controls)
            if (c.statement == "EDITTEXT" && c.y == l.y && c.x > l.x && c.x < end)
                row.push_back(&c);
    }
    std::sort(row.begin(), row.end(), [](auto* a, auto* b) { return a->x < b->x; });
    std::vector<int> ids;
    for (const TemplateControl* c : row)
        ids.push_back(c->id);
    return ids;
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

// Each box of the dialog template against the field its row names.
TEST(DialogLogic, eachNumberBoxEditsItsOwnFieldAndNoOther) {
    const struct {
        const char* label;
        std::vector<const char*> fields;
    } rows[] = {
        {"X", {"x_div"}},
        {"Y", {"y_div"}},
        {"Amplitude", {"xyAmplitude"}},
        {"Freq1", {"xyFrequency1"}},
        {"Freq2", {"xyFrequency2"}},
        {"Children", {"genChildren"}},
        // The movement's amplitude column, then its time column.
        {"RotateX", {"rotX0", "rotX1"}},
        {"RotateY", {"rotY0", "rotY1"}},
        {"RotateZ", {"rotZ0", "rotZ1"}},
        {"Zoom", {"zoom0", "zoom1"}},
    };
    std::size_t boxes = 0;
    for (const auto& row : rows) {
        const std::vector<int> ids = boxesBeside(row.label);
        ASSERT_EQ(ids.size(), row.fields.size()) << row.label;
        boxes += ids.size();
        for (std::size_t i = 0; i < ids.size(); ++i) {
            const char* field = row.fields[i];
            SCOPED_TRACE(field);
            Settings s;
            const Settings before = s;
            ASSERT_TRUE(applyNumberBox(s, ids[i], "12a3"));
            EXPECT_EQ(changedFields(before, s), std::vector<std::string>{field});
            EXPECT_EQ(fieldValue(s, field), 12.0);

            ASSERT_TRUE(applyNumberBox(s, ids[i], ""));
            EXPECT_EQ(fieldValue(s, field), 0.0);
        }
    }
    EXPECT_EQ(boxes, kNumberBoxes.size());

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
    } expected[] = {{idOf("Smooth Shading"), "xyGoraud"},
                    {idOf("Filtering"), "useLinear"},
                    {idOf("Enable Movement"), "enableMovement"},
                    {idOf("OpenGL Logo"), "useOGL"},
                    {idOf("Random Preset"), "randPreset"}};
    EXPECT_EQ(std::size(expected), kCheckBoxes.size());
    for (const auto& e : expected) {
        SCOPED_TRACE(e.field);
        Settings s;
        setIntField(s, kSettingFields.at(settingIndex(e.field)), 7); // any non-zero value is on
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

// Each group box of the dialog template: the field its buttons set, and the
// value each button's text stands for.
TEST(DialogLogic, radioButtonSetsItsValueAndIsTheOneShownForIt) {
    const std::vector<std::pair<const char*, int32_t>> sizes = {
        {"128", 128}, {"256", 256}, {"512", 512}, {"1024", 1024}, {"2048", 2048}};
    const struct {
        const char* group;
        const char* field;
        std::vector<std::pair<const char*, int32_t>> buttons;
    } groups[] = {
        {"View Mode", "Mode", {{"Explode", 0}, {"Wave1", 1}, {"Wave2", 2}, {"Wave3", 3}}},
        {"Width", "screenTextureWidth", sizes},
        {"Height", "screenTextureHeight", sizes},
    };
    std::size_t buttons = 0;
    for (const RadioGroup* group : kRadioGroups)
        buttons += group->choices.size();
    for (const auto& g : groups) {
        const TemplateControl* frame = configTemplate().withText(g.group);
        ASSERT_NE(frame, nullptr);
        std::vector<const TemplateControl*> radios = configTemplate().inside(*frame);
        std::erase_if(radios, [](const TemplateControl* c) { return !c->styled("BS_RADIOBUTTON"); });
        EXPECT_EQ(radios.size(), g.buttons.size()) << g.group;
        buttons -= g.buttons.size();
        for (const auto& [text, value] : g.buttons) {
            SCOPED_TRACE(std::string(g.group) + " " + text);
            const auto radio = std::find_if(radios.begin(), radios.end(),
                                            [&](const TemplateControl* c) { return c->text == text; });
            ASSERT_NE(radio, radios.end());
            Settings s;
            s.Mode = 9;
            s.screenTextureWidth = 300;
            s.screenTextureHeight = 300;
            const Settings before = s;
            const RadioGroup* group = applyRadio(s, (*radio)->id);
            ASSERT_NE(group, nullptr);
            EXPECT_EQ(changedFields(before, s), std::vector<std::string>{g.field});
            EXPECT_EQ(fieldValue(s, g.field), value);
            EXPECT_EQ(radioFor(*group, value), (*radio)->id);
        }
    }
    EXPECT_EQ(buttons, 0u) << "buttons the template does not show";
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

// Every control of the template has an id of its own, and every id the
// dialog's tables act on is a control of that kind there.
TEST(DialogLogic, controlIdsBelongToOneKindOfControlOnly) {
    std::set<int> seen;
    for (const TemplateControl& c : configTemplate().controls)
        EXPECT_TRUE(c.id == -1 || seen.insert(c.id).second) << "id " << c.id << " used twice";
    auto expectKind = [](int id, const char* statement, const char* style) {
        const TemplateControl* c = configTemplate().withId(id);
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->statement, statement) << id;
        EXPECT_TRUE(c->styled(style)) << id << " " << style;
    };
    for (const NumberBox& box : kNumberBoxes) {
        expectKind(box.id, "EDITTEXT", "ES_NUMBER");
        EXPECT_NE(box.floatField == nullptr, box.intField == nullptr) << box.id;
    }
    for (const CheckBox& box : kCheckBoxes)
        expectKind(box.id, "CONTROL", "BS_AUTOCHECKBOX");
    for (const RadioGroup* group : kRadioGroups)
        for (const RadioChoice& choice : group->choices)
            expectKind(choice.id, "CONTROL", "BS_RADIOBUTTON"); // plain: the dialog checks them
}

// Number boxes do not scroll, so a box holds no more digits than it shows.
// The resolution dialog's boxes scroll and take a sign; its list keeps the
// modes' order.
TEST(DialogLogic, theTemplatesGiveEachControlItsKind) {
    for (const NumberBox& box : kNumberBoxes) {
        const TemplateControl* c = configTemplate().withId(box.id);
        EXPECT_FALSE(c && (c->styled("ES_AUTOHSCROLL") || c->styled("ES_MULTILINE"))) << box.id;
    }
    const DialogTemplate resolution = test::readDialogTemplate("IDD_RESOLUTION");
    for (int id : {IDC_RES_WIDTH, IDC_RES_HEIGHT, IDC_RES_DEPTH}) {
        const TemplateControl* c = resolution.withId(id);
        EXPECT_TRUE(c && c->styled("ES_AUTOHSCROLL") && !c->styled("ES_NUMBER")) << id;
    }
    const TemplateControl* list = resolution.withId(IDC_RES_MODE);
    EXPECT_TRUE(list && list->styled("CBS_DROPDOWN") && !list->styled("CBS_SORT"));
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
