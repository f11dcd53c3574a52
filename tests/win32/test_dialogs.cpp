// The configuration dialog, the resolution dialog and the About box, created
// from the program's resources (the test binary links kelvara.rc) and driven by
// the messages a user's clicks and typing produce. Dialogs are created
// modelessly with the program's own procedures, against an in-memory store (or
// a registry key of the test's own) and a display that lists known modes.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "kelvara_version.h"
#include "resources/resource_ids.h"
#include "settings/presets.h"
#include "settings/settings_store.h"
#include "settings/store_memory.h"
#include "settings/store_registry.h"
#include "ui/config_dialog.h"
#include "ui/dialogs_win32.h"
#include "unit/dialog_template.h"
#include "unit/fake_display.h"

using namespace kelvara;

namespace {

HINSTANCE self() {
    return GetModuleHandleA(nullptr);
}

// ---- Stand-ins the dialogs are handed -----------------------------------------

// What the configuration dialog's nested dialogs and the About box's links do,
// for the test at hand: modal dialogs are handed to `nestedDialog`, links noted.
std::function<INT_PTR(HWND, int, DLGPROC, DialogEnv*)> nestedDialog;
std::vector<std::string> openedLinks;

INT_PTR runNested(HWND owner, int templateId, DLGPROC proc, DialogEnv* env) {
    if (!nestedDialog) {
        ADD_FAILURE() << "unexpected dialog " << templateId;
        return -1;
    }
    return nestedDialog(owner, templateId, proc, env);
}

void noteLink(HWND, const char* target) {
    openedLinks.emplace_back(target);
}

// ---- Driving a dialog ------------------------------------------------------------

std::string windowText(HWND window) {
    char text[256] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string className(HWND window) {
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

void pumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// A dialog created modelessly from the resources with a program procedure.
class DialogDriver {
  public:
    HWND dialog = nullptr;

    void create(int templateId, DLGPROC proc, DialogEnv* env, HWND owner = nullptr) {
        initDialogControls();
        dialog = CreateDialogParamA(self(), MAKEINTRESOURCEA(templateId), owner, proc,
                                    reinterpret_cast<LPARAM>(env));
        ASSERT_NE(dialog, nullptr) << "dialog " << templateId << " not created, error " << GetLastError();
    }
    void destroy() {
        if (dialog != nullptr)
            DestroyWindow(dialog);
        dialog = nullptr;
    }

    HWND item(int id) const { return GetDlgItem(dialog, id); }

    // A click on a button (or a notifying static): the notice its parent gets.
    void click(int id) const {
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(item(id)));
    }
    // Text typed or pasted into a box: the box takes it and reports the change.
    void type(int id, const char* text) const {
        SetDlgItemTextA(dialog, id, text);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, EN_CHANGE), reinterpret_cast<LPARAM>(item(id)));
    }
    std::string text(int id) const { return windowText(item(id)); }
    bool checked(int id) const { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

    // The trackbar dragged to `step`: it moves, then tells its parent.
    void slide(int id, int step) const {
        SendMessageA(item(id), TBM_SETPOS, TRUE, step);
        SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, step), reinterpret_cast<LPARAM>(item(id)));
        SendMessageA(dialog, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), reinterpret_cast<LPARAM>(item(id)));
    }
    int trackbar(int id) const { return static_cast<int>(SendMessageA(item(id), TBM_GETPOS, 0, 0)); }

    // An entry picked from the combo box's list.
    void pick(int id, int index) const {
        SendMessageA(item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(item(id)));
    }
    int selected(int id) const { return static_cast<int>(SendMessageA(item(id), CB_GETCURSEL, 0, 0)); }
    std::vector<std::string> entries(int id) const {
        std::vector<std::string> out;
        const int count = static_cast<int>(SendMessageA(item(id), CB_GETCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            char text[128] = {};
            SendMessageA(item(id), CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            out.emplace_back(text);
        }
        return out;
    }
};

// The store's value for a setting, as a signed number.
std::optional<int32_t> storedInt(const MemoryStore& store, const char* name) {
    const auto v = store.get(name);
    if (!v)
        return std::nullopt;
    return static_cast<int32_t>(*v);
}

// ---- Fixtures ----------------------------------------------------------------------

class DialogTest : public ::testing::Test {
  protected:
    Settings settings;
    MemoryStore store;
    test::FakeDisplay display; // lists modes; a dialog never changes one
    DialogEnv env;
    DialogDriver d;

    void SetUp() override {
        // Listed in this order: 4-bit modes are left out, and 800x600x16 comes
        // twice, at two refresh rates.
        display.modes = {test::mode(640, 480, 16, 60), test::mode(800, 600, 4, 60),
                         test::mode(800, 600, 16, 60), test::mode(800, 600, 16, 75),
                         test::mode(1024, 768, 32, 60)};
        display.currentReadable = false;
        display.answer = [](const DisplayMode&, ModeScope) { return ModeChange::BadMode; };
        env.settings = &settings;
        env.store = &store;
        env.display = &display;
        env.runModal = runNested;
        env.openLink = noteLink;
        nestedDialog = nullptr;
        openedLinks.clear();
    }
    void TearDown() override {
        EXPECT_TRUE(display.callsOf(test::FakeDisplay::Kind::Change).empty())
            << "a dialog changed the display mode";
        EXPECT_TRUE(display.callsOf(test::FakeDisplay::Kind::ShowError).empty()) << "a display message box";
        d.destroy();
        nestedDialog = nullptr;
        pumpMessages();
    }

    void openConfig() { d.create(IDD_CONFIG, configDialogProc, &env); }
    void openResolution() { d.create(IDD_RESOLUTION, resolutionDialogProc, &env); }
};

using ConfigDialog = DialogTest;
using ResolutionDialog = DialogTest;
using AboutBox = DialogTest;

constexpr int kModeButtons[] = {IDC_MODE_EXPLODE, IDC_MODE_WAVE1, IDC_MODE_WAVE2, IDC_MODE_WAVE3};
constexpr int kWidthButtons[] = {IDC_WIDTH_128, IDC_WIDTH_256, IDC_WIDTH_512, IDC_WIDTH_1024, IDC_WIDTH_2048};
constexpr int kHeightButtons[] = {IDC_HEIGHT_128, IDC_HEIGHT_256, IDC_HEIGHT_512, IDC_HEIGHT_1024,
                                  IDC_HEIGHT_2048};

// The ids of the checked buttons among `ids`.
template <std::size_t N> std::vector<int> checkedAmong(const DialogDriver& d, const int (&ids)[N]) {
    std::vector<int> on;
    for (int id : ids) {
        if (d.checked(id))
            on.push_back(id);
    }
    return on;
}

} // namespace

// ---- Layout: every control of the three templates where resources/kelvara.rc puts it

namespace {

// Styles the templates name, by the window class they belong to. A flag is
// checked both ways (named: set, not named: clear); a type under its mask.
struct StyleName {
    const char* cls;
    const char* name;
    DWORD mask;
    DWORD value;
};
const StyleName kStyleNames[] = {
    {"Button", "BS_GROUPBOX", BS_TYPEMASK, BS_GROUPBOX},
    {"Button", "BS_RADIOBUTTON", BS_TYPEMASK, BS_RADIOBUTTON},
    {"Button", "BS_AUTOCHECKBOX", BS_TYPEMASK, BS_AUTOCHECKBOX},
    {"Button", "BS_PUSHBUTTON", BS_TYPEMASK, BS_PUSHBUTTON},
    {"Button", "BS_DEFPUSHBUTTON", BS_TYPEMASK, BS_DEFPUSHBUTTON},
    {"Button", "BS_MULTILINE", BS_MULTILINE, BS_MULTILINE},
    {"Static", "SS_LEFT", SS_TYPEMASK, SS_LEFT},
    {"Static", "SS_RIGHT", SS_TYPEMASK, SS_RIGHT},
    {"Static", "SS_BITMAP", SS_TYPEMASK, SS_BITMAP},
    {"Static", "SS_NOTIFY", SS_NOTIFY, SS_NOTIFY},
    {"Edit", "ES_NUMBER", ES_NUMBER, ES_NUMBER},
    {"Edit", "ES_AUTOHSCROLL", ES_AUTOHSCROLL, ES_AUTOHSCROLL},
    {"Edit", "ES_MULTILINE", ES_MULTILINE, ES_MULTILINE},
    // A drop-down's scroll bar moves to its list.
    {"ComboBox", "CBS_DROPDOWN", CBS_DROPDOWNLIST, CBS_DROPDOWN},
    {"ComboBox", "CBS_SORT", CBS_SORT, CBS_SORT},
    {"msctls_trackbar32", "TBS_HORZ", TBS_VERT, TBS_HORZ},
    {"msctls_trackbar32", "TBS_NOTICKS", TBS_NOTICKS, TBS_NOTICKS},
};

void expectStyles(const test::TemplateControl& e, DWORD style, const std::string& what) {
    for (const StyleName& s : kStyleNames) {
        if (_stricmp(s.cls, e.cls.c_str()) != 0)
            continue;
        if (s.mask == s.value) {
            EXPECT_EQ((style & s.mask) != 0, e.styled(s.name)) << what << " " << s.name;
        } else if (e.styled(s.name)) {
            EXPECT_EQ(style & s.mask, s.value) << what << " " << s.name;
        }
    }
}

std::string describe(const RECT& r) {
    char text[64];
    std::snprintf(text, sizeof text, "(%ld, %ld)-(%ld, %ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

struct Child {
    HWND window;
    int id;
    std::string cls;
    std::string text;
    RECT rect; // in the dialog's client coordinates
    DWORD style;
    int lineHeight = 0; // a combo box's list lines, in pixels
};

std::vector<Child> childrenOf(HWND dialog) {
    std::vector<Child> out;
    for (HWND w = GetWindow(dialog, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        Child c{w,
                static_cast<int>(static_cast<short>(GetDlgCtrlID(w))),
                className(w),
                windowText(w),
                {},
                static_cast<DWORD>(GetWindowLongA(w, GWL_STYLE)),
                0};
        GetWindowRect(w, &c.rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&c.rect), 2);
        if (c.cls == "ComboBox") {
            // A drop-down combo box's window is as high as its edit field; the
            // template's height is the open list's bottom, which the list
            // shortens to whole lines.
            RECT dropped;
            SendMessageA(w, CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
            MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&dropped), 2);
            c.rect.bottom = dropped.bottom;
            c.lineHeight = static_cast<int>(SendMessageA(w, CB_GETITEMHEIGHT, 0, 0));
        }
        out.push_back(c);
    }
    return out;
}

INT_PTR CALLBACK bareProc(HWND, UINT, WPARAM, LPARAM) {
    return FALSE;
}

// Creates the template with a procedure that does nothing, so every control
// shows the template's own text, and matches each control of the resource
// script's template to exactly one child window.
void expectLayout(int templateId, const char* name) {
    const test::DialogTemplate layout = test::readDialogTemplate(name, {{"KELVARA_VERSION", KELVARA_VERSION}});
    ASSERT_FALSE(layout.controls.empty());
    initDialogControls();
    HWND dialog = CreateDialogParamA(self(), MAKEINTRESOURCEA(templateId), nullptr, bareProc, 0);
    ASSERT_NE(dialog, nullptr);

    EXPECT_EQ(windowText(dialog), layout.caption);
    const LONG style = GetWindowLongA(dialog, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);
    RECT size = {0, 0, layout.width, layout.height};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    LOGFONTA font{};
    const auto dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    ASSERT_NE(dialogFont, nullptr);
    GetObjectA(dialogFont, sizeof font, &font);
    EXPECT_EQ(font.lfFaceName, layout.fontName);
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(font.lfHeight, -MulDiv(layout.fontSize, GetDeviceCaps(screen, LOGPIXELSY), 72));
    ReleaseDC(nullptr, screen);

    std::vector<Child> children = childrenOf(dialog);
    EXPECT_EQ(children.size(), layout.controls.size()) << "controls in " << name;
    std::vector<bool> used(children.size(), false);
    for (const test::TemplateControl& e : layout.controls) {
        // The dialog manager converts the place and the size each on its own,
        // so a control's right edge is map(x) + map(w), not map(x + w).
        RECT want = {e.x, e.y, e.w, e.h};
        MapDialogRect(dialog, &want);
        want.right += want.left;
        want.bottom += want.top;
        const std::string what = e.cls + " " + std::to_string(e.id) + " \"" + e.text + "\" at " +
                                 std::to_string(e.x) + ", " + std::to_string(e.y);
        std::optional<std::size_t> sameKind; // same id, class and text, placed elsewhere
        std::optional<std::size_t> found;
        for (std::size_t i = 0; i < children.size(); ++i) {
            const Child& c = children[i];
            if (used[i] || c.id != e.id || _stricmp(c.cls.c_str(), e.cls.c_str()) != 0 ||
                (e.showsText && c.text != e.text))
                continue;
            sameKind = i;
            RECT placed = c.rect;
            if (c.lineHeight > 0 && placed.bottom <= want.bottom &&
                placed.bottom > want.bottom - 2 * c.lineHeight)
                placed.bottom = want.bottom;
            if (EqualRect(&placed, &want)) {
                found = i;
                break;
            }
        }
        if (!found) {
            ADD_FAILURE() << what << " missing: wanted " << describe(want)
                          << (sameKind ? ", found at " + describe(children[*sameKind].rect) : std::string());
            continue;
        }
        used[*found] = true;
        expectStyles(e, children[*found].style, what);
    }
    DestroyWindow(dialog);
}

} // namespace

TEST(DialogLayout, configurationDialogAsTheTableGivesIt) {
    expectLayout(IDD_CONFIG, "IDD_CONFIG");
}

TEST(DialogLayout, resolutionDialogAsTheTableGivesIt) {
    expectLayout(IDD_RESOLUTION, "IDD_RESOLUTION");
}

TEST(DialogLayout, aboutBoxAsTheTableGivesIt) {
    expectLayout(IDD_ABOUT, "IDD_ABOUT");
}

// The configuration and resolution dialogs open at the owner's corner, not
// centred.
TEST(DialogLayout, dialogsOpenAtTheirOwnersCorner) {
    HWND owner =
        CreateWindowExA(0, "Static", "owner", WS_POPUP, 120, 80, 400, 300, nullptr, nullptr, self(), nullptr);
    ASSERT_NE(owner, nullptr);
    POINT corner = {0, 0};
    ClientToScreen(owner, &corner);
    for (int id : {IDD_CONFIG, IDD_RESOLUTION}) {
        HWND dialog = CreateDialogParamA(self(), MAKEINTRESOURCEA(id), owner, bareProc, 0);
        ASSERT_NE(dialog, nullptr);
        POINT client = {0, 0};
        ClientToScreen(dialog, &client);
        RECT frame;
        GetWindowRect(dialog, &frame);
        // Within the frame's width of the owner's corner.
        EXPECT_LE(frame.left, corner.x) << id;
        EXPECT_GE(client.x, corner.x) << id;
        EXPECT_LE(frame.top, corner.y) << id;
        EXPECT_GE(client.y, corner.y) << id;
        DestroyWindow(dialog);
    }
    DestroyWindow(owner);
}

// ---- Configuration dialog ----------------------------------------------------------

TEST_F(ConfigDialog, opensWithTheStoredSettings) {
    store.set("Priority", 4);
    store.set("Mode", 2);
    store.set("screenTextureWidth", 1024);
    store.set("screenTextureHeight", 128);
    store.set("x_div", 33);
    store.set("genChildren", 5);
    store.set("rotZ1", 360);
    store.set("zoom0", 4294967295u); // the largest number the store keeps for a float
    store.set("useOGL", 7);
    store.set("xyGoraud", 0);
    openConfig();

    EXPECT_EQ(d.trackbar(IDC_PRIORITY), 4);
    EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), "Highest");
    EXPECT_EQ(checkedAmong(d, kModeButtons), std::vector<int>{IDC_MODE_WAVE2});
    EXPECT_EQ(checkedAmong(d, kWidthButtons), std::vector<int>{IDC_WIDTH_1024});
    EXPECT_EQ(checkedAmong(d, kHeightButtons), std::vector<int>{IDC_HEIGHT_128});
    EXPECT_EQ(d.text(IDC_X_DIV), "33");
    EXPECT_EQ(d.text(IDC_Y_DIV), "19");
    EXPECT_EQ(d.text(IDC_CHILDREN), "5");
    EXPECT_EQ(d.text(IDC_ROTZ_TIME), "360");
    EXPECT_EQ(d.text(IDC_ZOOM_TIME), "20");
    EXPECT_TRUE(d.checked(IDC_OPENGL_LOGO));
    EXPECT_FALSE(d.checked(IDC_SMOOTH_SHADING));
    EXPECT_TRUE(d.checked(IDC_FILTERING));
    EXPECT_TRUE(d.checked(IDC_ENABLE_MOVEMENT));
    EXPECT_FALSE(d.checked(IDC_RANDOM_PRESET));
    // Ten digits in a box that shows nine: opening does not read them back.
    EXPECT_EQ(d.text(IDC_ZOOM_AMPLITUDE), "4294967296");
    EXPECT_EQ(settings.zoom0, 4294967296.0f);
    EXPECT_EQ(store.writeCount, 0);
}

TEST_F(ConfigDialog, typedTextIsStoredAtOnce) {
    openConfig();
    d.type(IDC_X_DIV, "12a3"); // pasted: typing a letter is refused by the box
    EXPECT_EQ(settings.x_div, 12.0f);
    d.type(IDC_CHILDREN, "1234567890");
    EXPECT_EQ(settings.genChildren, 123456789);
    d.type(IDC_ROTY_TIME, "77");
    EXPECT_EQ(settings.rotY1, 77.0f);
    d.type(IDC_FREQUENCY2, "");
    EXPECT_EQ(settings.xyFrequency2, 0.0f);
    EXPECT_EQ(store.writeCount, 0);

    d.click(IDOK);
    EXPECT_EQ(env.endCode, IDOK);
    EXPECT_EQ(storedInt(store, "x_div"), 12);
    EXPECT_EQ(storedInt(store, "genChildren"), 123456789);
    EXPECT_EQ(storedInt(store, "rotY1"), 77);
    EXPECT_EQ(storedInt(store, "xyFrequency2"), 0);
}

TEST_F(ConfigDialog, checkBoxClickTogglesFieldAndMark) {
    store.set("useOGL", 7);
    store.set("randPreset", 0);
    openConfig();
    d.click(IDC_OPENGL_LOGO);
    EXPECT_EQ(settings.useOGL, 0);
    EXPECT_FALSE(d.checked(IDC_OPENGL_LOGO));
    d.click(IDC_OPENGL_LOGO);
    EXPECT_EQ(settings.useOGL, 1);
    EXPECT_TRUE(d.checked(IDC_OPENGL_LOGO));
    d.click(IDC_RANDOM_PRESET);
    EXPECT_EQ(settings.randPreset, 1);
    EXPECT_TRUE(d.checked(IDC_RANDOM_PRESET));
}

TEST_F(ConfigDialog, radioClickChecksThatButtonAlone) {
    openConfig();
    d.click(IDC_MODE_WAVE1);
    EXPECT_EQ(settings.Mode, 1);
    EXPECT_EQ(checkedAmong(d, kModeButtons), std::vector<int>{IDC_MODE_WAVE1});
    d.click(IDC_WIDTH_2048);
    EXPECT_EQ(settings.screenTextureWidth, 2048);
    EXPECT_EQ(checkedAmong(d, kWidthButtons), std::vector<int>{IDC_WIDTH_2048});
    d.click(IDC_HEIGHT_512);
    EXPECT_EQ(settings.screenTextureHeight, 512);
    EXPECT_EQ(checkedAmong(d, kHeightButtons), std::vector<int>{IDC_HEIGHT_512});
    // The other groups keep their marks.
    EXPECT_EQ(checkedAmong(d, kModeButtons), std::vector<int>{IDC_MODE_WAVE1});
    EXPECT_EQ(checkedAmong(d, kWidthButtons), std::vector<int>{IDC_WIDTH_2048});
}

TEST_F(ConfigDialog, valuesWithoutAButtonLeaveTheirGroupsClear) {
    store.set("Mode", 4);
    store.set("screenTextureWidth", 300);
    store.set("screenTextureHeight", 0);
    openConfig();
    EXPECT_TRUE(checkedAmong(d, kModeButtons).empty());
    EXPECT_TRUE(checkedAmong(d, kWidthButtons).empty());
    EXPECT_TRUE(checkedAmong(d, kHeightButtons).empty());

    // A recalled Mode 4 clears a checked view mode; a recalled width of 300
    // leaves the width group as it was.
    d.click(IDC_MODE_WAVE2);
    d.click(IDC_WIDTH_256);
    settings.Mode = 4;
    settings.screenTextureWidth = 300;
    saveBank(1, settings, store);
    settings.Mode = 2;
    d.click(IDC_RECALL_BANK_B);
    EXPECT_EQ(settings.Mode, 4);
    EXPECT_TRUE(checkedAmong(d, kModeButtons).empty());
    EXPECT_EQ(checkedAmong(d, kWidthButtons), std::vector<int>{IDC_WIDTH_256});
}

TEST_F(ConfigDialog, trackbarMovesOnlyItsLabel) {
    openConfig();
    EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), "Normal");
    const char* labels[] = {"Lowest", "Below Normal", "Normal", "Above Normal", "Highest", "Time Critical"};
    for (int step = 0; step <= 5; ++step) {
        d.slide(IDC_PRIORITY, step);
        EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), labels[step]);
    }
    EXPECT_EQ(settings.Priority, 2);
    // Scrolling anything else changes nothing.
    SendMessageA(d.dialog, WM_HSCROLL, MAKEWPARAM(SB_LINERIGHT, 0), 0);
    EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), "Time Critical");
}

TEST_F(ConfigDialog, presetRecallAndDefaultsPutTheTrackbarBackToTheRecord) {
    store.set("Priority", 1);
    store.set(bankValueName(3, 0), 3); // bank D's Priority
    openConfig();

    d.slide(IDC_PRIORITY, 4);
    d.click(IDC_PRESET_WAVE1);
    EXPECT_EQ(d.trackbar(IDC_PRIORITY), 1);
    EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), "Below Normal");
    // The preset's values are shown too.
    EXPECT_EQ(checkedAmong(d, kModeButtons), std::vector<int>{IDC_MODE_WAVE3});
    EXPECT_EQ(d.text(IDC_X_DIV), "60");
    EXPECT_EQ(d.text(IDC_AMPLITUDE), "7");

    d.slide(IDC_PRIORITY, 4);
    d.click(IDC_RECALL_BANK_D);
    EXPECT_EQ(settings.Priority, 3);
    EXPECT_EQ(d.trackbar(IDC_PRIORITY), 3);
    EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), "Above Normal");
    // Fields the bank never saved come back as 0.
    EXPECT_EQ(d.text(IDC_X_DIV), "0");
    EXPECT_EQ(checkedAmong(d, kModeButtons), std::vector<int>{IDC_MODE_EXPLODE});

    d.slide(IDC_PRIORITY, 4);
    d.click(IDC_DEFAULTS);
    EXPECT_EQ(d.trackbar(IDC_PRIORITY), 2);
    EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), "Normal");
    EXPECT_EQ(d.text(IDC_X_DIV), "25");
    EXPECT_EQ(checkedAmong(d, kModeButtons), std::vector<int>{IDC_MODE_EXPLODE});
    EXPECT_EQ(store.writeCount, 0); // "Defaults" writes nothing
}

TEST_F(ConfigDialog, cancelKeepsTheStoredPriorityAndOkStoresTheTrackbars) {
    store.set("Priority", 1);
    openConfig();
    d.slide(IDC_PRIORITY, 4);
    d.type(IDC_X_DIV, "40");
    d.click(IDCANCEL);
    EXPECT_EQ(env.endCode, IDCANCEL);
    EXPECT_EQ(store.writeCount, 0);
    EXPECT_EQ(storedInt(store, "Priority"), 1);
    d.destroy();

    openConfig();
    EXPECT_EQ(d.trackbar(IDC_PRIORITY), 1);
    d.slide(IDC_PRIORITY, 4);
    d.click(IDOK);
    EXPECT_EQ(env.endCode, IDOK);
    EXPECT_EQ(settings.Priority, 4);
    EXPECT_EQ(storedInt(store, "Priority"), 4);
    // The whole record is written.
    for (const SettingField& f : kSettingFields)
        EXPECT_TRUE(store.get(f.name).has_value()) << f.name;
}

TEST_F(ConfigDialog, outOfRangePriorityShowsAndStoresNormal) {
    store.set("Priority", 9);
    openConfig();
    EXPECT_EQ(d.trackbar(IDC_PRIORITY), 2);
    EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), "Normal");
    d.click(IDOK);
    EXPECT_EQ(storedInt(store, "Priority"), 2);
}

TEST_F(ConfigDialog, closingFromTheSystemMenuIsCancel) {
    openConfig();
    SendMessageA(d.dialog, WM_CLOSE, 0, 0);
    pumpMessages();
    EXPECT_EQ(env.endCode, IDCANCEL);
    EXPECT_EQ(store.writeCount, 0);
}

// Bank C reaches the registry at once and stays there after "Cancel".
TEST_F(ConfigDialog, savedBankSurvivesCancel) {
    const std::string subkey =
        "Software\\Quorvant\\ss\\kv\\kelvara-dialog-test-" + std::to_string(GetCurrentProcessId());
    RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
    RegistryStore registry(subkey);
    env.store = &registry;
    openConfig();
    d.type(IDC_X_DIV, "31");
    d.click(IDC_MODE_WAVE2);
    d.slide(IDC_PRIORITY, 5); // reaches the record only on "OK"
    d.click(IDC_SAVE_BANK_C);
    d.click(IDCANCEL);
    d.destroy();

    Settings recalled;
    recallBank(2, recalled, registry);
    EXPECT_EQ(recalled.x_div, 31.0f);
    EXPECT_EQ(recalled.Mode, 2);
    EXPECT_EQ(recalled.Priority, 2);
    // Nothing else was saved.
    std::optional<uint32_t> mainValue[1];
    const std::string names[1] = {"x_div"};
    EXPECT_TRUE(registry.read(names, mainValue));
    EXPECT_FALSE(mainValue[0].has_value());
    RegDeleteTreeA(HKEY_CURRENT_USER, subkey.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, subkey.c_str());
}

// "Change Resolution" and "About" open their dialogs modally, owned by the
// configuration dialog and sharing its record; nothing is refreshed afterwards.
TEST_F(ConfigDialog, changeResolutionAndAboutOpenOwnedDialogs) {
    openConfig();
    std::vector<int> opened;
    nestedDialog = [&](HWND owner, int templateId, DLGPROC proc, DialogEnv* child) -> INT_PTR {
        opened.push_back(templateId);
        EXPECT_EQ(owner, d.dialog);
        EXPECT_EQ(child->settings, &settings);
        EXPECT_EQ(child->store, &store);
        DialogDriver nested;
        nested.create(templateId, proc, child, owner);
        if (templateId == IDD_RESOLUTION) {
            nested.type(IDC_RES_WIDTH, "640");
            nested.click(IDCANCEL);
        } else {
            nested.click(IDOK);
        }
        const int code = child->endCode;
        nested.destroy();
        return code;
    };
    d.slide(IDC_PRIORITY, 0);
    d.click(IDC_CHANGE_RESOLUTION);
    d.click(IDC_ABOUT);
    EXPECT_EQ(opened, (std::vector<int>{IDD_RESOLUTION, IDD_ABOUT}));
    EXPECT_EQ(settings.resW, 640);
    EXPECT_EQ(env.endCode, 0); // the configuration dialog is still open
    EXPECT_EQ(d.text(IDC_PRIORITY_LABEL), "Lowest");
    EXPECT_EQ(store.writeCount, 0);

    // The resolution dialog's "OK" saves the record, trackbar excepted.
    nestedDialog = [&](HWND owner, int templateId, DLGPROC proc, DialogEnv* child) -> INT_PTR {
        DialogDriver nested;
        nested.create(templateId, proc, child, owner);
        nested.click(IDOK);
        const int code = child->endCode;
        nested.destroy();
        return code;
    };
    d.type(IDC_Y_DIV, "44");
    d.click(IDC_CHANGE_RESOLUTION);
    EXPECT_EQ(store.writeCount, 1);
    EXPECT_EQ(storedInt(store, "y_div"), 44);
    EXPECT_EQ(storedInt(store, "Priority"), 2);
    // 640 x 0 x 0 asks for no switch, so "Current Resolution" was selected.
    EXPECT_EQ(storedInt(store, "resW"), 0);
}

// The entry point the host calls: a modal dialog on the program's own key.
TEST(ShowConfigDialog, runsModallyUntilCancel) {
    static bool seen = false;
    static int ticks = 0;
    seen = false;
    ticks = 0;
    // Once the dialog shows, or after two seconds at the latest, "Cancel".
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND dialog = FindWindowA(nullptr, "Kelvara Configuration");
        if (dialog == nullptr)
            return;
        seen = IsWindowVisible(dialog) != FALSE;
        if (seen || ++ticks > 40)
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    });
    const int code = showConfigDialog(nullptr);
    KillTimer(nullptr, timer);
    EXPECT_EQ(code, IDCANCEL);
    EXPECT_TRUE(seen);
}

// ---- Resolution dialog ------------------------------------------------------------

TEST_F(ResolutionDialog, opensWithNoSwitchOnCurrentResolution) {
    settings.resW = settings.resH = settings.resC = 0;
    openResolution();
    EXPECT_EQ(d.entries(IDC_RES_MODE),
              (std::vector<std::string>{"Current Resolution", "Custom (Enter below)", "640x480x16",
                                        "800x600x16", "800x600x16", "1024x768x32"}));
    EXPECT_EQ(d.selected(IDC_RES_MODE), 0);
    EXPECT_EQ(d.text(IDC_RES_WIDTH), "0");
    EXPECT_EQ(d.text(IDC_RES_HEIGHT), "0");
    EXPECT_EQ(d.text(IDC_RES_DEPTH), "0");

    // A list longer than its open height scrolls.
    for (int i = 0; i < 20; ++i)
        SendMessageA(d.item(IDC_RES_MODE), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("1x1x32"));
    COMBOBOXINFO combo{};
    combo.cbSize = sizeof combo;
    ASSERT_TRUE(GetComboBoxInfo(d.item(IDC_RES_MODE), &combo));
    EXPECT_NE(GetWindowLongA(combo.hwndList, GWL_STYLE) & WS_VSCROLL, 0);
}

TEST_F(ResolutionDialog, opensOnTheLastListedEqualMode) {
    settings.resW = 800;
    settings.resH = 600;
    settings.resC = 16;
    openResolution();
    EXPECT_EQ(d.selected(IDC_RES_MODE), 4);
    EXPECT_EQ(d.text(IDC_RES_WIDTH), "800");
    EXPECT_EQ(d.text(IDC_RES_DEPTH), "16");
}

TEST_F(ResolutionDialog, opensOnCustomForAModeNotListed) {
    settings.resW = 1280;
    settings.resH = 1024;
    settings.resC = 24;
    openResolution();
    EXPECT_EQ(d.selected(IDC_RES_MODE), 1);
    EXPECT_EQ(d.text(IDC_RES_HEIGHT), "1024");
}

TEST_F(ResolutionDialog, okOnCurrentResolutionStoresNoSwitch) {
    settings.resW = 800;
    settings.resH = 600;
    settings.resC = 16;
    settings.x_div = 41;
    openResolution();
    d.pick(IDC_RES_MODE, 0);
    d.click(IDOK);
    EXPECT_EQ(env.endCode, IDOK);
    EXPECT_EQ(storedInt(store, "resW"), 0);
    EXPECT_EQ(storedInt(store, "resH"), 0);
    EXPECT_EQ(storedInt(store, "resC"), 0);
    EXPECT_EQ(storedInt(store, "x_div"), 41); // the whole record is saved
    EXPECT_EQ(store.writeCount, 1);
}

TEST_F(ResolutionDialog, okOnAListedModeStoresItWhateverTheBoxesHold) {
    openResolution();
    d.type(IDC_RES_WIDTH, "1");
    d.type(IDC_RES_HEIGHT, "2");
    d.type(IDC_RES_DEPTH, "3");
    d.pick(IDC_RES_MODE, 5);
    d.click(IDOK);
    EXPECT_EQ(storedInt(store, "resW"), 1024);
    EXPECT_EQ(storedInt(store, "resH"), 768);
    EXPECT_EQ(storedInt(store, "resC"), 32);
}

TEST_F(ResolutionDialog, okOnCustomStoresTheTypedMode) {
    openResolution();
    d.type(IDC_RES_WIDTH, "1024");
    d.type(IDC_RES_HEIGHT, "768");
    d.type(IDC_RES_DEPTH, "-32"); // a sign is kept: the switch then fails visibly at start
    d.pick(IDC_RES_MODE, 1);
    d.click(IDOK);
    EXPECT_EQ(storedInt(store, "resW"), 1024);
    EXPECT_EQ(storedInt(store, "resH"), 768);
    EXPECT_EQ(storedInt(store, "resC"), -32);
}

TEST_F(ResolutionDialog, okWithTextTypedIntoTheListKeepsTheBoxes) {
    openResolution();
    d.type(IDC_RES_WIDTH, "1152");
    d.type(IDC_RES_HEIGHT, "864");
    d.type(IDC_RES_DEPTH, "16");
    d.pick(IDC_RES_MODE, -1); // no entry selected
    SetDlgItemTextA(d.dialog, IDC_RES_MODE, "640x480x16");
    d.click(IDOK);
    EXPECT_EQ(storedInt(store, "resW"), 1152);
    EXPECT_EQ(storedInt(store, "resH"), 864);
    EXPECT_EQ(storedInt(store, "resC"), 16);
}

TEST_F(ResolutionDialog, cancelKeepsTypedValuesInMemoryOnly) {
    store.set("resW", 800);
    settings.resW = 800;
    openResolution();
    d.type(IDC_RES_WIDTH, "640");
    d.click(IDCANCEL);
    EXPECT_EQ(env.endCode, IDCANCEL);
    EXPECT_EQ(settings.resW, 640);
    EXPECT_EQ(storedInt(store, "resW"), 800);
    EXPECT_EQ(store.writeCount, 0);
}

// ---- About box ---------------------------------------------------------------------

TEST_F(AboutBox, centresOnTheDesktop) {
    d.create(IDD_ABOUT, aboutDialogProc, &env);
    RECT desktop;
    RECT box;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(d.dialog, &box);
    const int w = box.right - box.left;
    const int h = box.bottom - box.top;
    const int dw = desktop.right - desktop.left;
    const int dh = desktop.bottom - desktop.top;
    // Equal margins, the odd pixel (if any) on the right and at the bottom.
    const int leftMargin = box.left - desktop.left;
    const int rightMargin = desktop.right - box.right;
    const int topMargin = box.top - desktop.top;
    const int bottomMargin = desktop.bottom - box.bottom;
    EXPECT_EQ(rightMargin - leftMargin, (dw - w) % 2);
    EXPECT_EQ(bottomMargin - topMargin, (dh - h) % 2);
}

TEST_F(AboutBox, showsTheBannerAndDrawsTheLinksInBlue) {
    d.create(IDD_ABOUT, aboutDialogProc, &env);
    HWND banner = nullptr;
    for (HWND w = GetWindow(d.dialog, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        if ((GetWindowLongA(w, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP)
            banner = w;
    }
    ASSERT_NE(banner, nullptr);
    const auto picture = reinterpret_cast<HBITMAP>(SendMessageA(banner, STM_GETIMAGE, IMAGE_BITMAP, 0));
    ASSERT_NE(picture, nullptr);
    BITMAP info{};
    GetObjectA(picture, sizeof info, &info);
    EXPECT_EQ(info.bmWidth, 300);
    EXPECT_EQ(info.bmHeight, 45);

    HDC dc = CreateCompatibleDC(nullptr);
    for (int id : {IDC_ABOUT_WEB, IDC_ABOUT_MAIL}) {
        SetTextColor(dc, RGB(1, 2, 3));
        const INT_PTR brush = SendMessageA(d.dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                           reinterpret_cast<LPARAM>(d.item(id)));
        EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 255)) << id;
        EXPECT_EQ(GetBkColor(dc), GetSysColor(COLOR_BTNFACE)) << id;
        EXPECT_EQ(brush, reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE))) << id;
    }
    // Other texts keep the system's colours.
    SetTextColor(dc, RGB(1, 2, 3));
    SendMessageA(d.dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(banner));
    EXPECT_NE(GetTextColor(dc), RGB(0, 0, 255));
    DeleteDC(dc);
}

TEST_F(AboutBox, linksOpenTheWebPageAndANewMessage) {
    d.create(IDD_ABOUT, aboutDialogProc, &env);
    d.click(IDC_ABOUT_WEB);
    d.click(IDC_ABOUT_MAIL);
    EXPECT_EQ(openedLinks,
              (std::vector<std::string>{"https://kelvara.org/",
                                        "mailto:support@kelvara.org?subject=Kelvara%20Question"}));
    EXPECT_EQ(env.endCode, 0);
}

TEST_F(AboutBox, okOrCancelEndsIt) {
    d.create(IDD_ABOUT, aboutDialogProc, &env);
    d.click(IDOK);
    EXPECT_EQ(env.endCode, IDOK);
    d.destroy();
    env.endCode = 0;
    d.create(IDD_ABOUT, aboutDialogProc, &env);
    d.click(IDCANCEL);
    EXPECT_EQ(env.endCode, IDCANCEL);
}

// ---- The application manifest ----------------------------------------------------

namespace {

using RawManifest = std::string;

// Resource 1 of type 24, the manifest the loader reads at process start.
RawManifest programManifest() {
    HRSRC info = FindResourceA(self(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    if (info == nullptr)
        return {};
    const auto* data = static_cast<const char*>(LockResource(LoadResource(self(), info)));
    return data != nullptr ? RawManifest(data, SizeofResource(self(), info)) : RawManifest();
}

} // namespace

// The test binary carries the program's manifest: the loader must have given
// it the version 6 common controls and per-monitor DPI awareness.
TEST(ProgramManifest, commonControlsSixAndPerMonitorDpiAwareness) {
    const RawManifest manifest = programManifest();
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    // The program's own identity carries the project's version.
    EXPECT_NE(manifest.find("name=\"Quorvant.Kelvara\" version=\"" KELVARA_VERSION_QUAD "\""), std::string::npos)
        << manifest.substr(0, 400);

    // The common controls came from the side-by-side assembly of version 6
    // (Wine's copy there still reports 5.81 from DllGetVersion, so ask where
    // it was loaded from).
    HMODULE comctl = GetModuleHandleA("comctl32.dll");
    ASSERT_NE(comctl, nullptr);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(comctl, path, sizeof path);
    std::string loadedFrom = path;
    for (char& c : loadedFrom)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    EXPECT_NE(loadedFrom.find("microsoft.windows.common-controls_6595b64144ccf1df_6.0."), std::string::npos)
        << path;

    // Asked for by name: the build targets systems older than these calls.
    using ContextFn = HANDLE(WINAPI*)();
    using AwarenessFn = int(WINAPI*)(HANDLE);
    HMODULE user = GetModuleHandleA("user32.dll");
    const auto threadContext = reinterpret_cast<ContextFn>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetThreadDpiAwarenessContext")));
    const auto awarenessOf = reinterpret_cast<AwarenessFn>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetAwarenessFromDpiAwarenessContext")));
    ASSERT_NE(threadContext, nullptr);
    ASSERT_NE(awarenessOf, nullptr);
    constexpr int kPerMonitorAware = 2; // DPI_AWARENESS_PER_MONITOR_AWARE
    EXPECT_EQ(awarenessOf(threadContext()), kPerMonitorAware);
}
