// Shows one of the program's dialogs as a user sees it, for a screenshot:
// scripts/dialog-screenshots runs it under Wine and captures the window whose
// place it prints.
//
//   kelvara_dialog_shot config|resolution|about [seconds]
//
// The dialogs run with their own procedures on the default settings, kept in
// memory (nothing is written to the registry), and list the display's modes.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "resources/resource_ids.h"
#include "settings/store_memory.h"
#include "ui/dialogs_win32.h"

using namespace kelvara;

namespace {

void ignoreLink(HWND, const char*) {}
INT_PTR refuseNested(HWND, int, DLGPROC, DialogEnv*) {
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kelvara_dialog_shot config|resolution|about [seconds]\n");
        return 2;
    }
    const char* which = argv[1];
    const int seconds = argc > 2 ? std::atoi(argv[2]) : 5;

    int templateId;
    DLGPROC proc;
    if (std::strcmp(which, "config") == 0) {
        templateId = IDD_CONFIG;
        proc = configDialogProc;
    } else if (std::strcmp(which, "resolution") == 0) {
        templateId = IDD_RESOLUTION;
        proc = resolutionDialogProc;
    } else if (std::strcmp(which, "about") == 0) {
        templateId = IDD_ABOUT;
        proc = aboutDialogProc;
    } else {
        std::fprintf(stderr, "kelvara_dialog_shot: no dialog \"%s\"\n", which);
        return 2;
    }

    Settings settings;
    MemoryStore store;
    DialogEnv env;
    env.settings = &settings;
    env.store = &store;
    env.display = &systemDisplay();
    env.runModal = refuseNested;
    env.openLink = ignoreLink;

    initDialogControls();
    HWND dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), nullptr, proc,
                                     reinterpret_cast<LPARAM>(&env));
    if (dialog == nullptr) {
        std::fprintf(stderr, "kelvara_dialog_shot: CreateDialogParamA failed, error %lu\n", GetLastError());
        return 1;
    }
    if (templateId != IDD_ABOUT) // the About box places itself
        SetWindowPos(dialog, nullptr, 16, 16, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(dialog, SW_SHOW);
    UpdateWindow(dialog);

    RECT frame;
    GetWindowRect(dialog, &frame);
    std::printf("%ld %ld %ld %ld\n", frame.left, frame.top, frame.right - frame.left,
                frame.bottom - frame.top);
    std::fflush(stdout);

    SetTimer(nullptr, 0, static_cast<UINT>(seconds) * 1000, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr)
            break;
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    DestroyWindow(dialog);
    return 0;
}
