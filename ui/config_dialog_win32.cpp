// The configuration dialog (resource 2003) on Windows: every adjustable
// setting, the presets and user banks, and the ways to the resolution dialog
// and the About box.
//
// Provides: configDialogProc, fillConfigDialog, showConfigDialog, the modal
// runner and the helpers the three dialogs share.
// Limits: the record is edited in place as the controls change, with no
// working copy; "Cancel" only stops the save, it does not undo a bank saved or
// a resolution stored meanwhile. Shows no messages of its own.
#include "ui/config_dialog.h"

#include <commctrl.h>

#include <memory>
#include <optional>
#include <string>

#include "settings/presets.h"
#include "ui/dialog_logic.h"
#include "ui/dialogs_win32.h"

namespace kelvara {

namespace {

void checkButton(HWND dialog, int id, bool on) {
    CheckDlgButton(dialog, id, on ? BST_CHECKED : BST_UNCHECKED);
}

// Checks the button that stands for `value` and clears the rest; a value no
// button stands for clears them all or leaves them, as the group says.
void showRadioGroup(HWND dialog, const RadioGroup& group) {
    const int32_t value = (*dialogEnv(dialog)->settings).*group.field;
    const std::optional<int> checked = radioFor(group, value);
    if (!checked && !group.clearWhenNoMatch)
        return;
    for (const RadioChoice& choice : group.choices)
        checkButton(dialog, choice.id, checked == choice.id);
}

void showPriorityLabel(HWND dialog, int32_t step) {
    SetDlgItemTextA(dialog, IDC_PRIORITY_LABEL, priorityLabel(step));
}

int trackbarPosition(HWND dialog) {
    return static_cast<int>(SendDlgItemMessageA(dialog, IDC_PRIORITY, TBM_GETPOS, 0, 0));
}

// The first kNumberBoxChars characters of a box: a longer text is never read
// further.
std::string numberBoxContents(HWND dialog, int id) {
    char text[kNumberBoxChars + 1] = {};
    GetDlgItemTextA(dialog, id, text, static_cast<int>(sizeof text));
    return text;
}

void onCommand(HWND dialog, DialogEnv& env, int id, int code) {
    Settings& s = *env.settings;
    if (code == EN_CHANGE) {
        if (!env.filling && findNumberBox(id) != nullptr)
            applyNumberBox(s, id, numberBoxContents(dialog, id));
        return;
    }
    if (code != BN_CLICKED)
        return;

    if (const CheckBox* box = toggleCheckBox(s, id)) {
        // An automatic check box has already toggled its mark; set it from the
        // field all the same, so the two cannot drift apart.
        checkButton(dialog, id, s.*box->field != 0);
        return;
    }
    if (const RadioGroup* group = applyRadio(s, id)) {
        showRadioGroup(dialog, *group);
        return;
    }
    if (const std::optional<Preset> preset = presetForButton(id)) {
        applyPreset(s, *preset);
        fillConfigDialog(dialog, env);
        return;
    }
    if (const int bank = bankForSaveButton(id); bank >= 0) {
        saveBank(bank, s, *env.store);
        return;
    }
    if (const int bank = bankForRecallButton(id); bank >= 0) {
        recallBank(bank, s, *env.store);
        fillConfigDialog(dialog, env);
        return;
    }
    switch (id) {
    case IDC_CHANGE_RESOLUTION: {
        DialogEnv child = env;
        child.endCode = 0;
        env.runModal(dialog, IDD_RESOLUTION, resolutionDialogProc, &child);
        break;
    }
    case IDC_ABOUT: {
        DialogEnv child = env;
        child.endCode = 0;
        env.runModal(dialog, IDD_ABOUT, aboutDialogProc, &child);
        break;
    }
    case IDC_DEFAULTS:
        setDefaults(s);
        fillConfigDialog(dialog, env);
        break;
    case IDOK:
        // The trackbar reaches the record only here: a bank saved or a
        // resolution stored meanwhile keeps the step from before.
        s.Priority = trackbarPosition(dialog);
        saveSettings(s, *env.store);
        endDialogWith(dialog, IDOK);
        break;
    case IDCANCEL:
        endDialogWith(dialog, IDCANCEL);
        break;
    default:
        break;
    }
}

} // namespace

DialogEnv* dialogEnv(HWND dialog) {
    return reinterpret_cast<DialogEnv*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void endDialogWith(HWND dialog, int code) {
    if (DialogEnv* env = dialogEnv(dialog))
        env->endCode = code;
    EndDialog(dialog, code);
}

void initDialogControls() {
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_STANDARD_CLASSES | ICC_BAR_CLASSES;
    InitCommonControlsEx(&controls);
}

INT_PTR runModalDialog(HWND owner, int templateId, DLGPROC proc, DialogEnv* env) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner, proc,
                           reinterpret_cast<LPARAM>(env));
}

void fillConfigDialog(HWND dialog, DialogEnv& env) {
    const Settings& s = *env.settings;
    env.filling = true;

    SendDlgItemMessageA(dialog, IDC_PRIORITY, TBM_SETRANGE, TRUE, MAKELPARAM(kTrackbarMin, kTrackbarMax));
    SendDlgItemMessageA(dialog, IDC_PRIORITY, TBM_SETPOS, TRUE, trackbarPositionFor(s.Priority));
    SendDlgItemMessageA(dialog, IDC_PRIORITY, TBM_SETLINESIZE, 0, 1);
    SendDlgItemMessageA(dialog, IDC_PRIORITY, TBM_SETPAGESIZE, 0, 1);
    showPriorityLabel(dialog, s.Priority);

    for (const CheckBox& box : kCheckBoxes)
        checkButton(dialog, box.id, s.*box.field != 0);
    for (const RadioGroup* group : kRadioGroups)
        showRadioGroup(dialog, *group);

    for (const NumberBox& box : kNumberBoxes) {
        const std::string text =
            box.floatField != nullptr ? numberBoxText(s.*box.floatField) : numberBoxText(s.*box.intField);
        SetDlgItemTextA(dialog, box.id, text.c_str());
    }
    env.filling = false;
}

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        DialogEnv& env = *reinterpret_cast<DialogEnv*>(lParam);
        initDialogControls();
        loadSettings(*env.settings, *env.store);
        fillConfigDialog(dialog, env);
        return TRUE;
    }
    case WM_HSCROLL:
        // Only the label follows the trackbar; the record takes its step on "OK".
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_PRIORITY))
            showPriorityLabel(dialog, trackbarPosition(dialog));
        return TRUE;
    case WM_COMMAND:
        if (DialogEnv* env = dialogEnv(dialog))
            onCommand(dialog, *env, LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

int showConfigDialog(HWND parent) {
    Settings settings;
    const std::unique_ptr<SettingsStore> store = makePlatformStore();
    DialogEnv env;
    env.settings = &settings;
    env.store = store.get();
    env.display = &systemDisplay();
    initDialogControls();
    return static_cast<int>(runModalDialog(parent, IDD_CONFIG, configDialogProc, &env));
}

} // namespace kelvara
