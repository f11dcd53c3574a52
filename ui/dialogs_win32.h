#pragma once

// The dialog procedures of the configuration dialog (2003), the resolution
// dialog (114) and the About box (2004), and what they work on. Windows only.
//
// Each procedure takes a DialogEnv through the lParam of its creation call
// (DialogBoxParamA or CreateDialogParamA) and keeps it for the dialog's life,
// so a test can create the dialogs modelessly against a store and a display of
// its own, and see how each dialog ended.

#include <windows.h>

#include "display/display_modes.h"
#include "settings/settings.h"
#include "settings/settings_store.h"

namespace kelvara {

struct DialogEnv;

// Runs the dialog `templateId` modally, owned by `owner`, with `proc` and
// `env`; returns the dialog's end code (-1 when it could not be created).
using ModalRunner = INT_PTR (*)(HWND owner, int templateId, DLGPROC proc, DialogEnv* env);

// The real one: DialogBoxParamA on this program's resources.
INT_PTR runModalDialog(HWND owner, int templateId, DLGPROC proc, DialogEnv* env);

// Opens a link target (a web address, a "mailto:" address) for the user.
using LinkOpener = void (*)(HWND owner, const char* target);

// The real one: the shell's "open" verb.
void openWithShell(HWND owner, const char* target);

struct DialogEnv {
    // The record the dialogs edit in place, the store it is loaded from and
    // saved to, and the display whose modes the resolution dialog lists.
    Settings* settings = nullptr;
    SettingsStore* store = nullptr;
    DisplayBackend* display = nullptr;
    // How the configuration dialog opens the resolution dialog and the About
    // box. Each gets a copy of this environment with its own endCode.
    ModalRunner runModal = runModalDialog;
    // How the About box opens its links.
    LinkOpener openLink = openWithShell;
    // The code the dialog ended with, 0 while it is open.
    int endCode = 0;
    // Set while the configuration dialog fills its boxes: the boxes' change
    // notices then carry the record's own values back and are not read, so a
    // value the box cannot hold (ten digits from the registry) survives opening.
    bool filling = false;
};

INT_PTR CALLBACK configDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK resolutionDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Sets every control of the configuration dialog from the record.
void fillConfigDialog(HWND dialog, DialogEnv& env);

// The environment a dialog procedure was created with (null before
// WM_INITDIALOG).
DialogEnv* dialogEnv(HWND dialog);

// Ends the dialog with `code`, noting the code in its environment.
void endDialogWith(HWND dialog, int code);

// Registers the trackbar's window class; needed before the configuration
// dialog is created from its template.
void initDialogControls();

} // namespace kelvara
