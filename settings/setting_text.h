#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace kelvara {

// The words --help, the manual page and the option file use for a setting's
// values, from the settings table.

// "2..256 columns", "0 off, 1 on", "0 Explode, 1 Wave1, ..." .
std::string settingRangeText(const SettingField& field);

// "25", "1 (on)", "2 (Normal)".
std::string settingDefaultText(const SettingField& field);

// The label of a named value, or null when the setting gives it no name.
const char* settingChoiceLabel(const SettingField& field, int32_t value);

// `text` broken at spaces into lines of at most `width` columns (a word longer
// than a line stands alone). Every line after the first starts with `indent`
// spaces; the first is taken to start at column `firstColumn`. Each line ends
// with a newline.
std::string wrapText(std::string_view text, std::size_t width, std::size_t indent, std::size_t firstColumn);

} // namespace kelvara
