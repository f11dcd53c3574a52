#include "ui/dialog_logic.h"

#include "display/display_modes.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace kelvara {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

template <typename T, std::size_t N> const T* findById(const std::array<T, N>& table, int id) {
    for (const T& entry : table) {
        if (entry.id == id)
            return &entry;
    }
    return nullptr;
}

constexpr RadioChoice kViewModeChoices[] = {{IDC_MODE_EXPLODE, kExplode},
                                            {IDC_MODE_WAVE1, kWave1},
                                            {IDC_MODE_WAVE2, kWave2},
                                            {IDC_MODE_WAVE3, kWave3}};
constexpr RadioChoice kWidthChoices[] = {{IDC_WIDTH_128, 128},
                                         {IDC_WIDTH_256, 256},
                                         {IDC_WIDTH_512, 512},
                                         {IDC_WIDTH_1024, 1024},
                                         {IDC_WIDTH_2048, 2048}};
constexpr RadioChoice kHeightChoices[] = {{IDC_HEIGHT_128, 128},
                                          {IDC_HEIGHT_256, 256},
                                          {IDC_HEIGHT_512, 512},
                                          {IDC_HEIGHT_1024, 1024},
                                          {IDC_HEIGHT_2048, 2048}};

} // namespace

// ---- Number boxes ------------------------------------------------------------------

int32_t parseNumberBox(std::string_view text) {
    text = text.substr(0, kNumberBoxChars);
    int32_t value = 0; // nine digits at most: below 10^9, no overflow
    for (char c : text) {
        if (!isDigit(c))
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

std::string numberBoxText(int32_t value) {
    return std::to_string(value);
}

std::string numberBoxText(float value) {
    if (std::isnan(value))
        return "0";
    // Every whole float below 2^63 converts exactly; beyond that, show the end.
    constexpr float kPastInt64 = 9223372036854775808.0f;
    long long whole;
    if (value >= kPastInt64)
        whole = std::numeric_limits<long long>::max();
    else if (value < -kPastInt64)
        whole = std::numeric_limits<long long>::min();
    else
        whole = static_cast<long long>(value); // truncates toward zero
    return std::to_string(whole);
}

const std::array<NumberBox, 14> kNumberBoxes = {{
    {IDC_X_DIV, &Settings::x_div, nullptr},
    {IDC_Y_DIV, &Settings::y_div, nullptr},
    {IDC_CHILDREN, nullptr, &Settings::genChildren},
    {IDC_AMPLITUDE, &Settings::xyAmplitude, nullptr},
    {IDC_FREQUENCY1, &Settings::xyFrequency1, nullptr},
    {IDC_FREQUENCY2, &Settings::xyFrequency2, nullptr},
    {IDC_ROTX_AMPLITUDE, &Settings::rotX0, nullptr},
    {IDC_ROTX_TIME, &Settings::rotX1, nullptr},
    {IDC_ROTY_AMPLITUDE, &Settings::rotY0, nullptr},
    {IDC_ROTY_TIME, &Settings::rotY1, nullptr},
    {IDC_ROTZ_AMPLITUDE, &Settings::rotZ0, nullptr},
    {IDC_ROTZ_TIME, &Settings::rotZ1, nullptr},
    {IDC_ZOOM_AMPLITUDE, &Settings::zoom0, nullptr},
    {IDC_ZOOM_TIME, &Settings::zoom1, nullptr},
}};

const NumberBox* findNumberBox(int id) {
    return findById(kNumberBoxes, id);
}

bool applyNumberBox(Settings& s, int id, std::string_view text) {
    const NumberBox* box = findNumberBox(id);
    if (box == nullptr)
        return false;
    const int32_t value = parseNumberBox(text);
    if (box->floatField != nullptr)
        s.*box->floatField = static_cast<float>(value); // above 2^24, the nearest float
    else
        s.*box->intField = value;
    return true;
}

// ---- Check boxes ---------------------------------------------------------------------

const std::array<CheckBox, 5> kCheckBoxes = {{
    {IDC_SMOOTH_SHADING, &Settings::xyGoraud},
    {IDC_FILTERING, &Settings::useLinear},
    {IDC_ENABLE_MOVEMENT, &Settings::enableMovement},
    {IDC_OPENGL_LOGO, &Settings::useOGL},
    {IDC_RANDOM_PRESET, &Settings::randPreset},
}};

const CheckBox* findCheckBox(int id) {
    return findById(kCheckBoxes, id);
}

const CheckBox* toggleCheckBox(Settings& s, int id) {
    const CheckBox* box = findCheckBox(id);
    if (box != nullptr)
        s.*box->field = s.*box->field != 0 ? 0 : 1;
    return box;
}

// ---- Radio groups ----------------------------------------------------------------------

const RadioGroup kViewModeGroup = {kViewModeChoices, &Settings::Mode, true};
const RadioGroup kTextureWidthGroup = {kWidthChoices, &Settings::screenTextureWidth, false};
const RadioGroup kTextureHeightGroup = {kHeightChoices, &Settings::screenTextureHeight, false};
const std::array<const RadioGroup*, 3> kRadioGroups = {&kViewModeGroup, &kTextureWidthGroup,
                                                       &kTextureHeightGroup};

const RadioGroup* findRadioGroup(int id) {
    for (const RadioGroup* group : kRadioGroups) {
        for (const RadioChoice& choice : group->choices) {
            if (choice.id == id)
                return group;
        }
    }
    return nullptr;
}

std::optional<int> radioFor(const RadioGroup& group, int32_t value) {
    for (const RadioChoice& choice : group.choices) {
        if (choice.value == value)
            return choice.id;
    }
    return std::nullopt;
}

const RadioGroup* applyRadio(Settings& s, int id) {
    const RadioGroup* group = findRadioGroup(id);
    if (group == nullptr)
        return nullptr;
    for (const RadioChoice& choice : group->choices) {
        if (choice.id == id)
            s.*group->field = choice.value;
    }
    return group;
}

// ---- Priority trackbar -------------------------------------------------------------------

namespace {

struct PresetButton {
    int id;
    Preset preset;
};

constexpr PresetButton kPresetButtons[] = {
    {IDC_PRESET_EXPLODE1, Preset::Explode1}, {IDC_PRESET_EXPLODE2, Preset::Explode2},
    {IDC_PRESET_EXPLODE3, Preset::Explode3}, {IDC_PRESET_EXPLODE4, Preset::Explode4},
    {IDC_PRESET_WAVE1, Preset::Wave1},       {IDC_PRESET_WAVE2, Preset::Wave2},
    {IDC_PRESET_WAVE3, Preset::Wave3},       {IDC_PRESET_WAVE4, Preset::Wave4},
};

constexpr int kSaveButtons[kBankCount] = {IDC_SAVE_BANK_A, IDC_SAVE_BANK_B, IDC_SAVE_BANK_C, IDC_SAVE_BANK_D};
constexpr int kRecallButtons[kBankCount] = {IDC_RECALL_BANK_A, IDC_RECALL_BANK_B, IDC_RECALL_BANK_C,
                                            IDC_RECALL_BANK_D};

int indexOf(const int (&ids)[kBankCount], int id) {
    for (int i = 0; i < kBankCount; ++i) {
        if (ids[i] == id)
            return i;
    }
    return -1;
}

} // namespace

std::optional<Preset> presetForButton(int controlId) {
    for (const PresetButton& button : kPresetButtons) {
        if (button.id == controlId)
            return button.preset;
    }
    return std::nullopt;
}

int bankForSaveButton(int controlId) {
    return indexOf(kSaveButtons, controlId);
}
int bankForRecallButton(int controlId) {
    return indexOf(kRecallButtons, controlId);
}

int trackbarPositionFor(int32_t priority) {
    if (priority < kTrackbarMin || priority > kTrackbarMax)
        return 2; // "Normal", the priority such a value runs at
    return priority;
}

// ---- Resolution dialog ---------------------------------------------------------------------

int32_t parseResolutionBox(std::string_view text) {
    text = text.substr(0, kResolutionBoxChars);
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate toward the sign's end of the range and stop there, so no
    // amount of digits overflows.
    constexpr int64_t kLimit = int64_t{1} << 31;
    int64_t magnitude = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > kLimit)
            magnitude = kLimit;
    }
    if (negative)
        return static_cast<int32_t>(-magnitude);
    return static_cast<int32_t>(magnitude >= kLimit ? kLimit - 1 : magnitude);
}

int initialResolutionSelection(std::span<const std::string> entries, const Settings& s) {
    if (!wantsDisplaySwitch(s))
        return kCurrentResolutionIndex;
    const std::string wanted = displayModeText(s.resW, s.resH, s.resC);
    int selected = kCustomResolutionIndex;
    for (std::size_t i = kFirstModeIndex; i < entries.size(); ++i) {
        if (entries[i] == wanted)
            selected = static_cast<int>(i);
    }
    return selected;
}

std::optional<ResolutionTriple> parseModeEntry(std::string_view text) {
    int32_t values[3];
    const char* p = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 3; ++i) {
        if (i > 0) {
            if (p == end || *p != 'x')
                return std::nullopt;
            ++p;
        }
        const auto [next, error] = std::from_chars(p, end, values[i]);
        if (error != std::errc())
            return std::nullopt;
        p = next;
    }
    if (p != end)
        return std::nullopt;
    return ResolutionTriple{values[0], values[1], values[2]};
}

void applyResolutionChoice(Settings& s, int selected, std::string_view selectedText) {
    if (selected == kCurrentResolutionIndex) {
        s.resW = s.resH = s.resC = 0;
        return;
    }
    if (selected < kFirstModeIndex)
        return; // "Custom" or no selection: the boxes' values stand
    if (const auto mode = parseModeEntry(selectedText)) {
        s.resW = mode->width;
        s.resH = mode->height;
        s.resC = mode->depth;
    }
}

// ---- About box -----------------------------------------------------------------------------

ScreenPoint centredOrigin(int desktopLeft, int desktopTop, int desktopWidth, int desktopHeight, int boxWidth,
                          int boxHeight) {
    return {desktopLeft + (desktopWidth - boxWidth) / 2, desktopTop + (desktopHeight - boxHeight) / 2};
}

std::string mailtoUrl(std::string_view address, std::string_view subject) {
    std::string url = "mailto:";
    url += address;
    url += "?subject=";
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (char c : subject) {
        const auto u = static_cast<unsigned char>(c);
        const bool unreserved = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                                u == '-' || u == '.' || u == '_' || u == '~';
        if (unreserved) {
            url += c;
        } else {
            url += '%';
            url += kHex[u >> 4];
            url += kHex[u & 0xF];
        }
    }
    return url;
}

} // namespace kelvara
