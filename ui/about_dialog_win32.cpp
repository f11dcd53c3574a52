// The About box (resource 2004) on Windows: the banner, the version, and two
// links, to the project's web page and to a new message for its support
// address.
//
// Provides: aboutDialogProc, openWithShell.
// Limits: the links are static texts that notify their clicks; they take no
// keyboard focus.
#include <windows.h>
// <shellapi.h> needs <windows.h> before it.
#include <shellapi.h>

#include <string>

#include "resources/project_links.h"
#include "ui/dialog_logic.h"
#include "ui/dialogs_win32.h"

namespace kelvara {

namespace {

// The links' underlined font, made from the dialog's own at opening and
// deleted with the dialog.
constexpr const char* kLinkFontProperty = "KelvaraLinkFont";

bool isLink(HWND control) {
    const int id = GetDlgCtrlID(control);
    return id == IDC_ABOUT_WEB || id == IDC_ABOUT_MAIL;
}

void centreOnDesktop(HWND dialog) {
    RECT desktop;
    RECT box;
    GetWindowRect(GetDesktopWindow(), &desktop);
    GetWindowRect(dialog, &box);
    const ScreenPoint origin =
        centredOrigin(desktop.left, desktop.top, desktop.right - desktop.left, desktop.bottom - desktop.top,
                      box.right - box.left, box.bottom - box.top);
    SetWindowPos(dialog, nullptr, origin.x, origin.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void underlineLinks(HWND dialog) {
    const auto dialogFont = reinterpret_cast<HFONT>(SendMessageA(dialog, WM_GETFONT, 0, 0));
    LOGFONTA description;
    if (dialogFont == nullptr ||
        GetObjectA(dialogFont, sizeof description, &description) != sizeof description)
        return;
    description.lfUnderline = TRUE;
    const HFONT linkFont = CreateFontIndirectA(&description);
    if (linkFont == nullptr)
        return;
    SetPropA(dialog, kLinkFontProperty, linkFont);
    for (int id : {IDC_ABOUT_WEB, IDC_ABOUT_MAIL})
        SendDlgItemMessageA(dialog, id, WM_SETFONT, reinterpret_cast<WPARAM>(linkFont), FALSE);
}

void openLink(HWND dialog, int id) {
    const DialogEnv* env = dialogEnv(dialog);
    const LinkOpener open = env != nullptr ? env->openLink : openWithShell;
    if (id == IDC_ABOUT_WEB)
        open(dialog, KELVARA_WEB_PAGE);
    else
        open(dialog, mailtoUrl(KELVARA_SUPPORT_ADDRESS, KELVARA_MAIL_SUBJECT).c_str());
}

} // namespace

void openWithShell(HWND owner, const char* target) {
    ShellExecuteA(owner, "open", target, nullptr, nullptr, SW_SHOWNORMAL);
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        centreOnDesktop(dialog);
        underlineLinks(dialog);
        return TRUE;
    case WM_CTLCOLORSTATIC:
        if (!isLink(reinterpret_cast<HWND>(lParam)))
            return FALSE;
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 255));
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_SETCURSOR:
        if (!isLink(reinterpret_cast<HWND>(wParam)))
            return FALSE;
        SetCursor(LoadCursor(nullptr, IDC_HAND));
        SetWindowLongPtrA(dialog, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if ((id == IDC_ABOUT_WEB || id == IDC_ABOUT_MAIL) && HIWORD(wParam) == STN_CLICKED)
            openLink(dialog, id);
        else if (id == IDOK || id == IDCANCEL)
            endDialogWith(dialog, id);
        return TRUE;
    }
    case WM_DESTROY:
        if (const HANDLE font = RemovePropA(dialog, kLinkFontProperty))
            DeleteObject(font);
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace kelvara
