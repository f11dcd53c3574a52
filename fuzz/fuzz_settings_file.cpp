// The settings file's text parser, fed arbitrary bytes. What a load gives,
// a save writes so that it loads back the same; the settings record loaded
// from it survives a save and load too.
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "settings/settings_store.h"
#include "settings/store_file.h"
#include "settings/store_memory.h"

using namespace kelvara;

namespace {

bool sameValues(const std::vector<StoredValue>& a, const std::vector<StoredValue>& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i].name != b[i].name || a[i].value != b[i].value)
            return false;
    return true;
}

// A store over a text, the way FileStore reads its file.
class TextStore : public SettingsStore {
  public:
    explicit TextStore(std::string text) : text_(std::move(text)) {}
    bool read(std::span<const std::string> names, std::span<std::optional<uint32_t>> values) const override {
        const std::vector<StoredValue> stored = parseSettingsText(text_);
        for (std::size_t i = 0; i < names.size(); ++i) {
            values[i].reset();
            for (const StoredValue& s : stored)
                if (s.name == names[i])
                    values[i] = s.value;
        }
        return true;
    }
    bool write(std::span<const StoredValue> values) override {
        text_ = formatSettingsText(values);
        return true;
    }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    if (size > kMaxSettingsFileBytes)
        return 0; // FileStore refuses such a file before parsing
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::vector<StoredValue> loaded = parseSettingsText(text);

    std::set<std::string> names;
    for (const StoredValue& v : loaded) {
        // One value per name, and every name can be written back as a line.
        KELVARA_FUZZ_CHECK(names.insert(v.name).second);
        KELVARA_FUZZ_CHECK(!v.name.empty());
        KELVARA_FUZZ_CHECK(v.name.find_first_of("=\n\r") == std::string::npos);
        KELVARA_FUZZ_CHECK(v.name.front() != '#');
        KELVARA_FUZZ_CHECK(text.find(v.name) != std::string::npos);
    }

    // Save what was loaded: the same values load back, in the same order, and
    // saving again writes the same text.
    const std::string saved = formatSettingsText(loaded);
    const std::vector<StoredValue> reloaded = parseSettingsText(saved);
    KELVARA_FUZZ_CHECK(sameValues(reloaded, loaded));
    KELVARA_FUZZ_CHECK(formatSettingsText(reloaded) == saved);

    // The record loaded from the text: saved and loaded again it is the same
    // record (floats as their stored whole numbers).
    TextStore store(text);
    Settings first;
    loadSettings(first, store);
    saveSettings(first, store);
    Settings second;
    loadSettings(second, store);
    for (const SettingField& f : kSettingFields)
        KELVARA_FUZZ_CHECK(storedFieldValue(first, f) == storedFieldValue(second, f));
    saveSettings(second, store);
    const std::string once = store.text();
    saveSettings(second, store);
    KELVARA_FUZZ_CHECK(store.text() == once);
    return 0;
}
