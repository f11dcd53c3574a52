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

// A setting's value as a person writes it (the command line's --x_div 40,
// the off-screen renderer's --set x_div=40): the whole text one decimal
// number; for an integer setting a whole number of 32 bits into `intValue`,
// for a float setting a finite number of float range into `floatValue`.
// False, nothing written, for anything else.
bool parseSettingValue(const SettingField& field, const char* text, int32_t& intValue, float& floatValue);

// `text` broken at spaces into lines of at most `width` columns (a word longer
// than a line stands alone). Every line after the first starts with `indent`
// spaces; the first is taken to start at column `firstColumn`. Each line ends
// with a newline.
std::string wrapText(std::string_view text, std::size_t width, std::size_t indent, std::size_t firstColumn);

} // namespace kelvara
