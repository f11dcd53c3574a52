#include "hostile_cases.h"

#include <cstring>
#include <initializer_list>
#include <set>
#include <stdexcept>
#include <utility>

#include "settings/presets.h"
#include "settings/settings_store.h"
#include "settings/store_file.h"

namespace kelvara::hostile {

namespace {

// Every field gets these, as stored: 0; -1, which is also 4294967295 (all
// bits set: -1 to an int field, 2^32 to a float one); the int32 maximum; the
// largest number the dialog's boxes take. The int32 minimum comes in the
// all-fields runs.
constexpr std::array<uint32_t, 4> kIntValues = {0u, 0xFFFFFFFFu, 2147483647u, 999999999u};

// Float fields load the bits as an unsigned integer converted to float, so
// most of these have no exact float: each loads as a neighbour, and only the
// stored bits tell the user's value apart.
//   2147483647 -> 2^31;  999999999 -> 10^9;  16777217 = 2^24 + 1 -> 2^24;
//   4294967295 -> 2^32, past the unsigned range a save can write. So does
//   4294967200 (stored as -96), which the combinations use.
constexpr std::array<uint32_t, 5> kFloatValues = {0u, 0xFFFFFFFFu, 2147483647u, 999999999u, 16777217u};

constexpr const char* kWaveFields[] = {"xyAmplitude", "xyFrequency1", "xyFrequency2", "xySizeX", "xySizeY", "xyGoraud"};

bool isWaveField(const char* name) {
    for (const char* w : kWaveFields)
        if (std::strcmp(w, name) == 0)
            return true;
    return false;
}

std::string valueText(uint32_t bits) { return std::to_string(static_cast<int32_t>(bits)); }

struct Builder {
    std::vector<HostileCase> cases;
    std::set<std::string> names;

    HostileCase& add(std::string name, std::initializer_list<std::pair<const char*, uint32_t>> values,
                     Expect expect = Expect::Unchanged) {
        if (!names.insert(name).second)
            throw std::logic_error("hostile case named twice: " + name);
        HostileCase c;
        c.name = std::move(name);
        c.stored = defaultRecord();
        for (const auto& [field, bits] : values)
            c.stored[fieldIndex(field)] = bits;
        c.expect = c.stored[fieldIndex("randPreset")] != 0 ? Expect::RandomPreset : expect;
        cases.push_back(std::move(c));
        return cases.back();
    }
};

constexpr uint32_t kAll = 0xFFFFFFFFu;
constexpr uint32_t kMaxInt = 2147483647u;
constexpr uint32_t kBig = 999999999u;
constexpr uint32_t kNoFloat = 16777217u;

} // namespace

std::size_t fieldIndex(const char* name) {
    for (std::size_t i = 0; i < kSettingFields.size(); ++i)
        if (std::strcmp(kSettingFields[i].name, name) == 0)
            return i;
    throw std::logic_error(std::string("no setting named ") + name);
}

StoredRecord defaultRecord() {
    const Settings defaults;
    StoredRecord r{};
    for (std::size_t i = 0; i < kSettingCount; ++i)
        r[i] = storedFieldValue(defaults, kSettingFields[i]);
    return r;
}

std::string describeValue(std::size_t field, uint32_t bits) {
    return std::string(kSettingFields[field].name) + "=" +
           (kSettingFields[field].type == FieldType::Float ? std::to_string(bits) : valueText(bits));
}

std::vector<HostileCase> allCases() {
    Builder b;

    // One field at a time. Wave parameters only act in a wave mode, so their
    // values go round Wave1..Wave4; the grid size acts in both kinds of
    // scene, each axis with the other kept small so the run stays cheap.
    for (const SettingField& f : kSettingFields) {
        const bool isFloat = f.type == FieldType::Float;
        const auto values = isFloat ? std::vector<uint32_t>(kFloatValues.begin(), kFloatValues.end())
                                    : std::vector<uint32_t>(kIntValues.begin(), kIntValues.end());
        const bool grid = std::strcmp(f.name, "x_div") == 0 || std::strcmp(f.name, "y_div") == 0;
        for (std::size_t i = 0; i < values.size(); ++i) {
            const std::string base = std::string(f.name) + "=" + (isFloat ? std::to_string(values[i]) : valueText(values[i]));
            if (isWaveField(f.name)) {
                const uint32_t mode = 1 + static_cast<uint32_t>(i % 4);
                b.add(base + ",Mode=" + std::to_string(mode), {{f.name, values[i]}, {"Mode", mode}});
            } else if (grid) {
                const char* other = std::strcmp(f.name, "x_div") == 0 ? "y_div" : "x_div";
                b.add(base + ",Mode=0", {{f.name, values[i]}, {other, 2}, {"Mode", 0}});
                b.add(base + ",Mode=3", {{f.name, values[i]}, {other, 2}, {"Mode", 3}});
            } else {
                b.add(base, {{f.name, values[i]}});
            }
        }
    }

    // Modes nothing offers: 4 is the fourth formula, the rest a flat grid.
    for (uint32_t mode : {4u, 5u, 6u, 7u})
        b.add("Mode=" + std::to_string(mode), {{"Mode", mode}});
    b.add("Priority=9", {{"Priority", 9}});

    // Texture sizes off the offered five, with the capture and with the logo
    // (which has a size of its own and ignores them).
    for (uint32_t ogl : {0u, 1u}) {
        const std::string logo = ",useOGL=" + std::to_string(ogl);
        for (uint32_t size : {0u, 300u, 4096u})
            b.add("texture=" + std::to_string(size) + logo,
                  {{"screenTextureWidth", size}, {"screenTextureHeight", size}, {"useOGL", ogl}});
        b.add("texture=4096x0" + logo, {{"screenTextureWidth", 4096}, {"screenTextureHeight", 0}, {"useOGL", ogl}});
        b.add("texture=-1x2147483647" + logo,
              {{"screenTextureWidth", kAll}, {"screenTextureHeight", kMaxInt}, {"useOGL", ogl}});
    }

    // Grid size with the explode cycle: the most shards the scene allows,
    // splitting into the most children, and splits with no grid at all.
    b.add("explode:grid=999999999,children=999999999",
          {{"Mode", 0}, {"x_div", kBig}, {"y_div", kBig}, {"genChildren", kBig}})
        .heavy = true;
    b.add("explode:grid=4294967295x4,children=2147483647",
          {{"Mode", 0}, {"x_div", kAll}, {"y_div", 4}, {"genChildren", kMaxInt}});
    b.add("explode:grid=16,children=16", {{"Mode", 0}, {"x_div", 16}, {"y_div", 16}, {"genChildren", 16}});
    b.add("explode:grid=1,children=999999999", {{"Mode", 0}, {"x_div", 1}, {"y_div", 1}, {"genChildren", kBig}});
    b.add("explode:grid=0x999999999,children=-1", {{"Mode", 0}, {"x_div", 0}, {"y_div", kBig}, {"genChildren", kAll}});

    // Each wave formula (and a flat one) with every wave parameter hostile:
    // divisions by a zero size, heights past any depth range; once on the
    // largest grid the scene allows.
    b.add("wave:Mode=4,size=0,big,grid=999999999",
          {{"Mode", 4}, {"x_div", kBig}, {"y_div", kBig}, {"xyAmplitude", kAll}, {"xyFrequency1", kBig},
           {"xyFrequency2", kMaxInt}, {"xySizeX", 0}, {"xySizeY", 0}})
        .heavy = true;
    for (uint32_t mode : {1u, 2u, 3u, 4u, 5u, kAll}) {
        const std::string m = "wave:Mode=" + valueText(mode);
        b.add(m + ",size=0,big", {{"Mode", mode}, {"x_div", kBig}, {"y_div", 8}, {"xyAmplitude", kAll},
                                  {"xyFrequency1", kBig}, {"xyFrequency2", kMaxInt}, {"xySizeX", 0}, {"xySizeY", 0}});
        b.add(m + ",nofloat", {{"Mode", mode}, {"x_div", kNoFloat}, {"y_div", 2}, {"xyAmplitude", kNoFloat},
                               {"xyFrequency1", kNoFloat}, {"xyFrequency2", 0}, {"xySizeX", kNoFloat},
                               {"xySizeY", kAll}, {"xyGoraud", kAll}});
    }

    // Camera swings with no period (time 0), the widest amplitudes, and a
    // zoom of 0 (its range is 10 / zoom0 to zoom0 / 10).
    b.add("movement:all=0", {{"rotX0", 0}, {"rotX1", 0}, {"rotY0", 0}, {"rotY1", 0}, {"rotZ0", 0}, {"rotZ1", 0},
                             {"zoom0", 0}, {"zoom1", 0}});
    b.add("movement:all=4294967295", {{"rotX0", kAll}, {"rotX1", kAll}, {"rotY0", kAll}, {"rotY1", kAll},
                                      {"rotZ0", kAll}, {"rotZ1", kAll}, {"zoom0", kAll}, {"zoom1", kAll}});
    b.add("movement:amplitude=big,time=1,wave", {{"Mode", 3}, {"rotX0", kBig}, {"rotX1", 1}, {"rotY0", kNoFloat},
                                                 {"rotY1", 1}, {"rotZ0", kMaxInt}, {"rotZ1", 1}, {"zoom0", 1},
                                                 {"zoom1", 1}});

    // The render thread's priority at its extremes on a busy scene.
    for (uint32_t priority : {0u, 5u, 9u})
        b.add("priority=" + std::to_string(priority) + ",grid=100,wave",
              {{"Priority", priority}, {"Mode", 3}, {"x_div", 100}, {"y_div", 100}});

    // A random preset over hostile values: the preset replaces its own fields
    // only, the rest must come back as stored, bits and all.
    b.add("randPreset:hostile-grid", {{"randPreset", 1}, {"x_div", kBig}, {"y_div", kBig}, {"genChildren", kBig},
                                      {"Mode", 7}, {"screenTextureWidth", 300}, {"screenTextureHeight", 4096}});
    b.add("randPreset:nofloat", {{"randPreset", kAll}, {"x_div", kNoFloat}, {"y_div", kNoFloat},
                                 {"xyAmplitude", kNoFloat}, {"xySizeX", kNoFloat}, {"xySizeY", 4294967200u},
                                 {"zoom0", kNoFloat}, {"rotZ0", kBig}});

    // Display modes that do not exist: the switch is refused before anything
    // is drawn and the run ends without saving.
    b.add("res:-1x-1x-1", {{"resW", kAll}, {"resH", kAll}, {"resC", kAll}}, Expect::SwitchRefused);
    b.add("res:2147483647x999999999x32", {{"resW", kMaxInt}, {"resH", kBig}, {"resC", 32}}, Expect::SwitchRefused);

    // Every field at once, and the same as another program may write it.
    for (uint32_t v : {0u, kMaxInt, 0x80000000u, kBig, kNoFloat}) {
        HostileCase& c = b.add("all=" + std::to_string(v), {});
        c.stored.fill(v);
        c.stored[fieldIndex("resW")] = c.stored[fieldIndex("resH")] = c.stored[fieldIndex("resC")] = 0;
        c.expect = c.stored[fieldIndex("randPreset")] != 0 ? Expect::RandomPreset : Expect::Unchanged;
    }
    {
        HostileCase& c = b.add("all=4294967295,unsigned-text", {});
        c.stored.fill(kAll);
        c.stored[fieldIndex("resW")] = c.stored[fieldIndex("resH")] = c.stored[fieldIndex("resC")] = 0;
        c.unsignedText = true;
        c.expect = Expect::RandomPreset;
    }
    {
        HostileCase& c = b.add("all=4294967295,res,unsigned-text", {}, Expect::SwitchRefused);
        c.stored.fill(kAll);
        c.unsignedText = true;
    }
    return b.cases;
}

std::vector<HostileCase> windowsSample() {
    const char* const picked[] = {
        "Priority=9",
        "Mode=-1",
        "texture=4096,useOGL=0",
        "texture=0,useOGL=1",
        "explode:grid=4294967295x4,children=2147483647",
        "wave:Mode=4,size=0,big",
        "wave:Mode=2,nofloat",
        "movement:all=0",
        "randPreset:nofloat",
        "all=2147483647",
        "x_div=999999999,Mode=3",
    };
    const std::vector<HostileCase> all = allCases();
    std::vector<HostileCase> sample;
    for (const char* name : picked) {
        bool found = false;
        for (const HostileCase& c : all) {
            if (c.name == name) {
                sample.push_back(c);
                found = true;
            }
        }
        if (!found)
            throw std::logic_error(std::string("no hostile case named ") + name);
    }
    return sample;
}

std::string settingsFileText(const HostileCase& c) {
    std::vector<StoredValue> values;
    for (std::size_t i = 0; i < kSettingCount; ++i)
        values.push_back({kSettingFields[i].name, c.stored[i]});
    if (!c.unsignedText)
        return formatSettingsText(values);
    std::string text = "# written with unsigned values\n";
    for (const StoredValue& v : values)
        text += v.name + "=" + std::to_string(v.value) + "\n";
    return text;
}

std::optional<std::string> checkStoredAfter(const HostileCase& c,
                                            const std::array<std::optional<uint32_t>, kSettingCount>& after) {
    for (std::size_t i = 0; i < kSettingCount; ++i)
        if (!after[i])
            return std::string("no ") + kSettingFields[i].name + " stored after the run";

    auto differences = [&](const StoredRecord& want) {
        std::string d;
        for (std::size_t i = 0; i < kSettingCount; ++i) {
            if (*after[i] != want[i])
                d += (d.empty() ? "" : ", ") + describeValue(i, want[i]) + " came back as " +
                     (kSettingFields[i].type == FieldType::Float ? std::to_string(*after[i]) : valueText(*after[i]));
        }
        return d;
    };

    if (c.expect != Expect::RandomPreset) {
        const std::string d = differences(c.stored);
        if (d.empty())
            return std::nullopt;
        return d;
    }

    // One of the presets applied to the loaded record: its fields take the
    // preset's values, every other field keeps its stored bits.
    Settings loaded;
    for (std::size_t i = 0; i < kSettingCount; ++i)
        setFieldFromStored(loaded, kSettingFields[i], c.stored[i]);
    std::string nearest;
    for (Preset preset : kPresets) {
        Settings s = loaded;
        applyPreset(s, preset);
        StoredRecord want = c.stored;
        for (std::size_t i = 0; i < kSettingCount; ++i) {
            const SettingField& f = kSettingFields[i];
            const bool changed = f.type == FieldType::Float ? floatField(s, f) != floatField(loaded, f)
                                                            : intField(s, f) != intField(loaded, f);
            if (changed)
                want[i] = storedFieldValue(s, f);
        }
        const std::string d = differences(want);
        if (d.empty())
            return std::nullopt;
        if (nearest.empty() || d.size() < nearest.size())
            nearest = d;
    }
    return "matches no preset applied to the stored values; nearest: " + nearest;
}

} // namespace kelvara::hostile
