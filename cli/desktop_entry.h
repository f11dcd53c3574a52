#pragma once

// The .desktop entry that lets KWin hand Kelvara each output's picture: KWin
// answers org.kde.KWin.ScreenShot2 only for a program whose entry lists the
// interface and whose first Exec= token is the program's real path.
#include <string>

namespace kelvara {

inline constexpr const char* kKwinScreenshotInterface = "org.kde.KWin.ScreenShot2";

// The entry for the program at `programPath` (absolute), hidden from menus.
std::string captureGrantEntry(const std::string& programPath);

// The file name of the user's entry for `programPath`: one per program path,
// never the installed package's own kelvara.desktop, which it would hide.
std::string captureGrantFileName(const std::string& programPath);

} // namespace kelvara
