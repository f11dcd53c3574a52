#include "settings/setting_text.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>

namespace kelvara {

std::string settingRangeText(const SettingField& field) {
    switch (field.values.kind) {
    case SettingKind::Flag:
        return "0 off, 1 on";
    case SettingKind::Choice: {
        std::string text;
        for (const SettingChoice& c : field.values.choices) {
            if (!text.empty())
                text += ", ";
            text += std::to_string(c.value);
            // A label that is the number itself says nothing more.
            if (std::to_string(c.value) != c.label)
                text += std::string(" ") + c.label;
        }
        return *field.unit ? text + " " + field.unit : text;
    }
    case SettingKind::Number:
        break;
    }
    std::string text = std::to_string(field.low) + ".." + std::to_string(field.high);
    return *field.unit ? text + " " + field.unit : text;
}

const char* settingChoiceLabel(const SettingField& field, int32_t value) {
    if (field.values.kind == SettingKind::Flag)
        return value != 0 ? "on" : "off";
    for (const SettingChoice& c : field.values.choices)
        if (c.value == value && std::to_string(value) != c.label)
            return c.label;
    return nullptr;
}

std::string settingDefaultText(const SettingField& field) {
    std::string text = std::to_string(field.defaultValue);
    if (const char* label = settingChoiceLabel(field, field.defaultValue))
        text += std::string(" (") + label + ")";
    return text;
}

std::string wrapText(std::string_view text, std::size_t width, std::size_t indent, std::size_t firstColumn) {
    std::string out;
    std::size_t column = firstColumn;
    bool lineEmpty = true;
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == ' ') {
            ++at;
            continue;
        }
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view word = text.substr(at, end - at);
        if (!lineEmpty && column + 1 + word.size() > width) {
            out += '\n';
            out.append(indent, ' ');
            column = indent;
            lineEmpty = true;
        }
        if (!lineEmpty) {
            out += ' ';
            ++column;
        }
        out += word;
        column += word.size();
        lineEmpty = false;
        at = end;
    }
    out += '\n';
    return out;
}

bool parseSettingValue(const SettingField& field, const char* text, int32_t& intValue, float& floatValue) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    if (field.type == FieldType::Int) {
        const long long v = std::strtoll(text, &end, 10);
        if (errno != 0 || *end != '\0' || v < INT32_MIN || v > INT32_MAX)
            return false;
        intValue = static_cast<int32_t>(v);
        return true;
    }
    const float v = std::strtof(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    floatValue = v;
    return true;
}

} // namespace kelvara
