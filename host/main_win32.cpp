// Entry point of the Windows screen saver (kelvara.scr).
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return 0; }
