// The resolution dialog (resource 114) on Windows: the display mode the saver
// switches to, picked from the display's list or typed into three boxes.
//
// Provides: resolutionDialogProc.
// Limits: lists the modes of the environment's display (the primary display);
// a mode is checked only when the saver starts, never here.
#include <string>
#include <vector>

#include "ui/dialog_logic.h"
#include "ui/dialogs_win32.h"

namespace kelvara {

namespace {

int32_t Settings::*resolutionField(int id) {
    switch (id) {
    case IDC_RES_WIDTH:
        return &Settings::resW;
    case IDC_RES_HEIGHT:
        return &Settings::resH;
    case IDC_RES_DEPTH:
        return &Settings::resC;
    default:
        return nullptr;
    }
}

void fillResolutionDialog(HWND dialog, DialogEnv& env) {
    const Settings& s = *env.settings;
    SetDlgItemTextA(dialog, IDC_RES_WIDTH, numberBoxText(s.resW).c_str());
    SetDlgItemTextA(dialog, IDC_RES_HEIGHT, numberBoxText(s.resH).c_str());
    SetDlgItemTextA(dialog, IDC_RES_DEPTH, numberBoxText(s.resC).c_str());

    std::vector<std::string> entries = {kCurrentResolutionEntry, kCustomResolutionEntry};
    listDisplayModes(*env.display, &entries);
    const HWND combo = GetDlgItem(dialog, IDC_RES_MODE);
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& entry : entries)
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(initialResolutionSelection(entries, s)), 0);
}

std::string selectedEntryText(HWND combo, int selected) {
    if (selected < 0)
        return {};
    const LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length == CB_ERR)
        return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(combo, CB_GETLBTEXT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void onCommand(HWND dialog, DialogEnv& env, int id, int code) {
    Settings& s = *env.settings;
    if (int32_t Settings::*field = resolutionField(id)) {
        if (code == EN_CHANGE) {
            char text[kResolutionBoxChars + 1] = {};
            GetDlgItemTextA(dialog, id, text, static_cast<int>(sizeof text));
            s.*field = parseResolutionBox(text);
        }
        return;
    }
    if (code != BN_CLICKED)
        return;
    if (id == IDOK) {
        const HWND combo = GetDlgItem(dialog, IDC_RES_MODE);
        const int selected = static_cast<int>(SendMessageA(combo, CB_GETCURSEL, 0, 0));
        applyResolutionChoice(s, selected, selectedEntryText(combo, selected));
        // The whole record, with every edit of the configuration dialog so far.
        saveSettings(s, *env.store);
        endDialogWith(dialog, IDOK);
    } else if (id == IDCANCEL) {
        // Values the boxes stored stay in the record; they reach the store only
        // if the configuration dialog is closed with "OK".
        endDialogWith(dialog, IDCANCEL);
    }
}

} // namespace

// Answers FALSE to every message, WM_INITDIALOG included, so the system sets
// no initial keyboard focus.
INT_PTR CALLBACK resolutionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        fillResolutionDialog(dialog, *reinterpret_cast<DialogEnv*>(lParam));
        break;
    case WM_COMMAND:
        if (DialogEnv* env = dialogEnv(dialog))
            onCommand(dialog, *env, LOWORD(wParam), HIWORD(wParam));
        break;
    default:
        break;
    }
    return FALSE;
}

} // namespace kelvara
