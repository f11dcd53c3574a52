#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "settings/settings_store.h"
#include "settings/store_file.h"
#include "settings/store_memory.h"

using namespace kelvara;
namespace fs = std::filesystem;

namespace {

// A folder of its own under the system's temporary folder, removed afterwards.
struct TempDir {
    fs::path path;
    TempDir() {
        std::random_device rd;
        path = fs::temp_directory_path() / ("kelvara-store-test-" + std::to_string(rd()) + std::to_string(rd()));
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const fs::path& p, const std::string& text) {
    std::ofstream out(p, std::ios::binary);
    out << text;
}

// Every field away from its default, whole-numbered floats, some beyond the
// 31-bit range and some negative integers.
Settings unusualSettings() {
    Settings s;
    s.Priority = 5;
    s.x_div = 3000000000.0f; // above 2^31, still below 2^32
    s.y_div = 7;
    s.xyAmplitude = 0;
    s.xyFrequency1 = 999999999; // nearest float is 1000000000
    s.xyFrequency2 = 1;
    s.xySizeX = 61;
    s.xySizeY = 62;
    s.Mode = 4;
    s.genChildren = 999999999;
    s.xyGoraud = 0;
    s.useLinear = 7;
    s.screenTextureWidth = 2048;
    s.screenTextureHeight = 128;
    s.useTrails = 1;
    s.enableMovement = 0;
    s.rotX0 = 11;
    s.rotX1 = 31;
    s.rotY0 = 360;
    s.rotY1 = 26;
    s.rotZ0 = 3600;
    s.rotZ1 = 21;
    s.zoom0 = 14;
    s.zoom1 = 22;
    s.useOGL = 1;
    s.randPreset = 1;
    s.resW = -800;
    s.resH = 2147483647;
    s.resC = -2147483647 - 1;
    return s;
}

void expectSameSettings(const Settings& a, const Settings& b) {
    for (const SettingField& f : kSettingFields) {
        if (f.type == FieldType::Float)
            EXPECT_EQ(floatField(a, f), floatField(b, f)) << f.name;
        else
            EXPECT_EQ(intField(a, f), intField(b, f)) << f.name;
    }
}

} // namespace

TEST(Store, everyValueSurvivesSaveAndLoad) {
    const Settings saved = unusualSettings();
    TempDir dir;
    MemoryStore memory;
    FileStore file(dir.path / "settings");
    for (SettingsStore* store : {static_cast<SettingsStore*>(&memory), static_cast<SettingsStore*>(&file)}) {
        saveSettings(saved, *store);
        Settings loaded;
        std::memset(static_cast<void*>(&loaded), 0x55, sizeof loaded);
        loadSettings(loaded, *store);
        expectSameSettings(loaded, saved);
    }
    // The memory store holds exactly the settings' names, each once.
    ASSERT_EQ(memory.values().size(), kSettingCount);
    for (const SettingField& f : kSettingFields)
        EXPECT_TRUE(memory.get(f.name).has_value()) << f.name;
    // Integers keep their 32 bits; floats are stored as numbers, not float bits.
    EXPECT_EQ(memory.get("resC"), 0x80000000u);
    EXPECT_EQ(memory.get("resW"), static_cast<uint32_t>(-800));
    EXPECT_EQ(memory.get("x_div"), 3000000000u);
    EXPECT_EQ(memory.get("y_div"), 7u);
}

TEST(Store, floatsStoreTheirWholePartAndLoadUnsigned) {
    MemoryStore store;
    Settings s;
    s.x_div = 25.9f;
    s.y_div = 0.99f;
    saveSettings(s, store);
    EXPECT_EQ(store.get("x_div"), 25u);
    EXPECT_EQ(store.get("y_div"), 0u);
    loadSettings(s, store);
    EXPECT_EQ(s.x_div, 25.0f);
    EXPECT_EQ(s.y_div, 0.0f);

    // All bits set: a float field takes it as unsigned, an integer field as -1.
    store.set("x_div", 0xFFFFFFFFu);
    store.set("Priority", 0xFFFFFFFFu);
    store.set("zoom0", 0x80000000u);
    loadSettings(s, store);
    EXPECT_EQ(s.x_div, 4294967296.0f);
    EXPECT_EQ(s.Priority, -1);
    EXPECT_EQ(s.zoom0, 2147483648.0f);
}

// Stored whole numbers that float cannot hold load as a neighbour; a save of
// the unchanged record must still give back the user's numbers, in the
// registry form and in the settings file alike.
TEST(Store, saveKeepsStoredFloatsThatHaveNoExactFloat) {
    const std::pair<const char*, uint32_t> stored[] = {
        {"x_div", 16777217u},     // 2^24 + 1 loads as 2^24
        {"y_div", 999999999u},    // loads as 10^9
        {"rotZ0", 2147483647u},   // loads as 2^31
        {"zoom0", 4294967200u},   // loads as 2^32, past what a save can write
        {"xySizeX", 4294967295u}, // loads as 2^32 too
    };
    TempDir dir;
    const fs::path path = dir.path / "settings";
    MemoryStore memory;
    FileStore file(path);
    std::vector<StoredValue> values;
    for (const auto& [name, bits] : stored)
        values.push_back({name, bits});
    for (SettingsStore* store : {static_cast<SettingsStore*>(&memory), static_cast<SettingsStore*>(&file)}) {
        ASSERT_TRUE(store->write(values));
        Settings s;
        loadSettings(s, *store);
        EXPECT_EQ(s.x_div, 16777216.0f);
        saveSettings(s, *store);
        std::vector<std::string> names;
        for (const auto& [name, bits] : stored)
            names.emplace_back(name);
        std::vector<std::optional<uint32_t>> after(names.size());
        ASSERT_TRUE(store->read(names, after));
        for (std::size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(after[i], stored[i].second) << names[i];
    }
    // Saved in the file's own form, the unchanged record gives the same bytes.
    const std::string before = readFile(path);
    Settings s;
    loadSettings(s, file);
    saveSettings(s, file);
    EXPECT_EQ(readFile(path), before);

    // A changed value is stored as the new value's whole part, even when the
    // old bits are its float neighbours.
    loadSettings(s, memory);
    s.x_div = 16777218.0f;
    s.y_div = 5.5f;
    saveSettings(s, memory);
    EXPECT_EQ(memory.get("x_div"), 16777218u);
    EXPECT_EQ(memory.get("y_div"), 5u);
    // No store yet: plain whole parts.
    MemoryStore fresh;
    s.rotZ0 = 2147483648.0f;
    saveSettings(s, fresh);
    EXPECT_EQ(fresh.get("rotZ0"), 2147483648u);
}

TEST(Store, floatsOutsideTheUnsignedRangeSaturate) {
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float in;
        uint32_t stored;
    } cases[] = {
        {nan, 0u},
        {-nan, 0u},
        {-0.0f, 0u},
        {-0.7f, 0u},
        {-5.0f, 0u},
        {-inf, 0u},
        {4294967040.0f, 4294967040u}, // the largest float below 2^32
        {4294967296.0f, 4294967295u},
        {1e20f, 4294967295u},
        {inf, 4294967295u},
        {2147483904.0f, 2147483904u}, // above the signed range, still exact
        {123.999f, 123u},
    };
    for (const Case& c : cases)
        EXPECT_EQ(storedFromFloat(c.in), c.stored) << c.in;

    // A saturated value loads as 2^32 and saves again to the same bits.
    MemoryStore store;
    Settings s;
    s.rotZ0 = inf;
    saveSettings(s, store);
    loadSettings(s, store);
    EXPECT_EQ(s.rotZ0, 4294967296.0f);
    saveSettings(s, store);
    EXPECT_EQ(store.get("rotZ0"), 4294967295u);
}

TEST(Store, missingKeyOrValueLeavesDefaults) {
    Settings defaults;
    setDefaults(defaults);

    MemoryStore noKey;
    Settings s = unusualSettings();
    loadSettings(s, noKey);
    expectSameSettings(s, defaults);

    // Only Mode deleted: Mode falls back to 0, everything else is as stored.
    MemoryStore store;
    const Settings saved = unusualSettings();
    saveSettings(saved, store);
    store.erase("Mode");
    loadSettings(s, store);
    Settings expected = saved;
    expected.Mode = defaults.Mode;
    expectSameSettings(s, expected);

    // A key with nothing in it at all.
    MemoryStore empty;
    empty.createKey();
    s = unusualSettings();
    loadSettings(s, empty);
    expectSameSettings(s, defaults);
}

TEST(Store, unwritableStoreKeepsEverything) {
    MemoryStore store;
    store.set("bystander", 42);
    store.refuseWrites = true;
    const Settings s = unusualSettings();
    saveSettings(s, store);
    EXPECT_EQ(store.values().size(), 1u);
    EXPECT_EQ(store.get("bystander"), 42u);
    expectSameSettings(s, unusualSettings());
}

TEST(FileStore, savedFileIsNameValueLinesAndKeepsOtherValues) {
    TempDir dir;
    const fs::path path = dir.path / "deeper" / "kelvara" / "settings";
    FileStore store(path);

    // The folder is made on the first save.
    Settings s;
    setDefaults(s);
    s.Priority = -1;
    s.x_div = 3000000000.0f;
    saveSettings(s, store);
    ASSERT_TRUE(fs::is_regular_file(path));
    const std::string text = readFile(path);
    EXPECT_NE(text.find("\nPriority=-1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\nresC=0\n"), std::string::npos) << text;
    // A float's stored integer is written in its 32-bit signed form; it reads
    // back as the unsigned value the registry would give.
    EXPECT_NE(text.find("\nx_div=-1294967296\n"), std::string::npos) << text;

    // Values of other names (banks, a later version's settings) survive later
    // saves; lines that were never values do not.
    writeFile(path, readFile(path) + "usersave02_05=17\nfutureSetting=9\nthis is junk\n");
    s.Mode = 2;
    saveSettings(s, store);
    const std::vector<StoredValue> after = parseSettingsText(readFile(path));
    EXPECT_EQ(after.size(), kSettingCount + 2);
    EXPECT_EQ(readFile(path).find("junk"), std::string::npos);
    std::vector<std::optional<uint32_t>> got(3);
    const std::vector<std::string> names = {"usersave02_05", "futureSetting", "Mode"};
    ASSERT_TRUE(store.read(names, got));
    EXPECT_EQ(got[0], 17u);
    EXPECT_EQ(got[1], 9u);
    EXPECT_EQ(got[2], 2u);

    // Nothing but the settings file is left in its folder.
    int entries = 0;
    for (const auto& e : fs::directory_iterator(path.parent_path())) {
        (void)e;
        ++entries;
    }
    EXPECT_EQ(entries, 1);
}

TEST(FileStore, valuesMustFitThirtyTwoBits) {
    const std::string text = "a=4294967295\n"
                             "b=4294967296\n"
                             "c=-2147483648\n"
                             "d=-2147483649\n"
                             "e=+5\n"
                             "f=5x\n"
                             "g=0x10\n"
                             "h=\n"
                             "i=-\n"
                             "j=000000000000000000000000000000000000000042\n"
                             "k=99999999999999999999999999999999\n"
                             "l=1 2\n"
                             "m=-0\n";
    const std::vector<StoredValue> v = parseSettingsText(text);
    ASSERT_EQ(v.size(), 4u);
    EXPECT_EQ(v[0].name, "a");
    EXPECT_EQ(v[0].value, 0xFFFFFFFFu);
    EXPECT_EQ(v[1].name, "c");
    EXPECT_EQ(v[1].value, 0x80000000u);
    EXPECT_EQ(v[2].name, "j");
    EXPECT_EQ(v[2].value, 42u);
    EXPECT_EQ(v[3].name, "m");
    EXPECT_EQ(v[3].value, 0u);
}

TEST(FileStore, hostileContentKeepsEveryReadableValueAndSaysOnceWhatItSkipped) {
    TempDir dir;
    const fs::path path = dir.path / "settings";
    std::string text;
    text += "# a comment\n";                        // 1
    text += "\n   \n";                              // 2, 3
    text += "Priority=4\r\n";                       // 4: CRLF
    text += "  Mode =  3  \n";                      // 5: spaces around
    text += "x_div=12\n";                           // 6
    text += "x_div=40\n";                           // 7: the later line wins
    text += "y_div=99999999999999999999999999\n";   // 8: too big: y_div keeps its default
    text += "xyAmplitude=\n";                       // 9: empty: default
    text += "genChildren==5\n";                     // 10: not a number
    text += "rotX0=-5\n";                           // 11: negative into a float: unsigned 4294967291
    text += "zoom1=7\n";                            // 12
    text += "=5\n";                                 // 13
    text += "no equals sign at all\n";              // 14
    text += std::string(200000, 'z') + "=1\n";      // 15: an absurdly long line
    text += "\xff\xfe\x01\x02 binary =\x80\x81\n";  // 16
    text += "resH=1080";                            // 17: no final newline
    writeFile(path, text);

    FileStore store(path);
    Settings s = unusualSettings();
    testing::internal::CaptureStderr();
    loadSettings(s, store);
    const std::string err = testing::internal::GetCapturedStderr();
    // One line for all seven skipped lines: the file, the first of them, how
    // many more.
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_NE(err.find(path.string() + ", line 8: 'y_div=9999"), std::string::npos) << err;
    EXPECT_NE(err.find("and 6 more"), std::string::npos) << err;

    Settings expected;
    setDefaults(expected);
    expected.Priority = 4;
    expected.Mode = 3;
    expected.x_div = 40;
    expected.rotX0 = 4294967291.0f;
    expected.zoom1 = 7;
    expected.resH = 1080;
    expectSameSettings(s, expected);

    // The skipped lines give way to the values a save writes.
    testing::internal::CaptureStderr();
    saveSettings(s, store);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(parseSettingsText(readFile(path)).size(), kSettingCount);
    EXPECT_EQ(readFile(path).find("binary"), std::string::npos);
}

TEST(FileStore, filesThatAreNotSettingsAreReadAsNothingAndKept) {
    TempDir dir;
    Settings defaults;
    setDefaults(defaults);
    struct Case {
        const char* what;
        std::string text;
        const char* reason;
    };
    const std::vector<Case> cases = {
        {"a picture", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "not a text file"},
        {"values with a zero byte", std::string("Mode=1\nx_div=4\0\0\0\0", 18), "not a text file"},
        {"someone's notes", "shopping:\nmilk\neggs = a dozen\n", "no line in it is NAME=NUMBER"},
        {"a file cut short in its first line", "Mod", "no line in it is NAME=NUMBER"},
    };
    for (const Case& c : cases) {
        const fs::path path = dir.path / "file";
        writeFile(path, c.text);
        FileStore store(path);
        Settings s = unusualSettings();
        testing::internal::CaptureStderr();
        loadSettings(s, store);
        std::string err = testing::internal::GetCapturedStderr();
        expectSameSettings(s, defaults);
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.what << ": " << err;
        EXPECT_NE(err.find("cannot read settings file " + path.string() + ": " + c.reason), std::string::npos)
            << c.what << ": " << err;

        testing::internal::CaptureStderr();
        saveSettings(s, store);
        err = testing::internal::GetCapturedStderr();
        EXPECT_TRUE(readFile(path) == c.text) << c.what << " was replaced";
        EXPECT_NE(err.find("not saving settings to " + path.string()), std::string::npos) << c.what << ": " << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << c.what << ": " << err;
    }

    // Comments alone are a settings file with no values yet: the save fills it.
    const fs::path commented = dir.path / "commented";
    writeFile(commented, "# values to come\n");
    FileStore store(commented);
    Settings s = unusualSettings();
    testing::internal::CaptureStderr();
    loadSettings(s, store);
    saveSettings(s, store);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(parseSettingsText(readFile(commented)).size(), kSettingCount);
}

TEST(FileStore, aFileUnreadableAtLoadIsNotReplacedWhenItComesBack) {
    TempDir dir;
    const fs::path path = dir.path / "settings";
    fs::create_directories(path);
    FileStore store(path);
    Settings s = unusualSettings();
    testing::internal::CaptureStderr();
    loadSettings(s, store);
    testing::internal::GetCapturedStderr();

    // The user puts their file back while the run goes on: the run's
    // defaults must not replace it.
    fs::remove(path);
    writeFile(path, "Mode=2\nx_div=17\n");
    testing::internal::CaptureStderr();
    saveSettings(s, store);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(readFile(path), "Mode=2\nx_div=17\n");
    EXPECT_NE(err.find("not saving settings to " + path.string() + ": it could not be read (not a regular file)"),
              std::string::npos)
        << err;

    // A later load that reads it lets saves through again.
    loadSettings(s, store);
    EXPECT_EQ(s.Mode, 2);
    s.Mode = 3;
    saveSettings(s, store);
    Settings again;
    loadSettings(again, store);
    EXPECT_EQ(again.Mode, 3);
    EXPECT_EQ(again.x_div, 17.0f);
}

TEST(FileStore, unreadableFileGivesDefaultsAndIsNotReplaced) {
    TempDir dir;
    Settings defaults;
    setDefaults(defaults);

    // A folder where the file should be.
    const fs::path folder = dir.path / "settings";
    fs::create_directories(folder / "inside");
    FileStore store(folder);
    Settings s = unusualSettings();
    testing::internal::CaptureStderr();
    loadSettings(s, store);
    std::string err = testing::internal::GetCapturedStderr();
    expectSameSettings(s, defaults);
    EXPECT_NE(err.find(folder.string()), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;

    testing::internal::CaptureStderr();
    saveSettings(s, store);
    err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(fs::is_directory(folder / "inside"));
    EXPECT_NE(err.find(folder.string()), std::string::npos) << err;

    // A file far larger than any settings file: read as nothing, kept as it is.
    const fs::path big = dir.path / "big";
    const std::string bigText = "Priority=5\n" + std::string(kMaxSettingsFileBytes, '#');
    writeFile(big, bigText);
    FileStore bigStore(big);
    s = unusualSettings();
    testing::internal::CaptureStderr();
    loadSettings(s, bigStore);
    saveSettings(s, bigStore);
    err = testing::internal::GetCapturedStderr();
    expectSameSettings(s, defaults);
    EXPECT_NE(err.find(big.string()), std::string::npos) << err;
    EXPECT_TRUE(readFile(big) == bigText) << "the oversized file was replaced";

    // No file at all is no settings yet, and says nothing.
    FileStore none(dir.path / "absent");
    s = unusualSettings();
    testing::internal::CaptureStderr();
    loadSettings(s, none);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    expectSameSettings(s, defaults);
}

TEST(FileStore, failedSaveLeavesTheOldFileWhole) {
    TempDir dir;
    const fs::path path = dir.path / "settings";
    FileStore store(path);
    const Settings old = unusualSettings();
    saveSettings(old, store);
    const std::string before = readFile(path);

    // A folder in the way of the temporary file: the save cannot be written.
    fs::create_directories(store.tempPath() / "blocker");
    Settings changed = old;
    changed.Mode = 1;
    changed.x_div = 5;
    testing::internal::CaptureStderr();
    saveSettings(changed, store);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(err.empty());
    EXPECT_EQ(readFile(path), before);
    Settings loaded;
    loadSettings(loaded, store);
    expectSameSettings(loaded, old);

    // Once the way is clear the next save goes through.
    fs::remove_all(store.tempPath());
    saveSettings(changed, store);
    loadSettings(loaded, store);
    expectSameSettings(loaded, changed);
    EXPECT_FALSE(fs::exists(store.tempPath()));
}

TEST(FileStore, twoStoresNeverShareATemporaryFile) {
    TempDir dir;
    FileStore a(dir.path / "settings");
    FileStore b(dir.path / "settings");
    EXPECT_NE(a.tempPath(), b.tempPath());
    EXPECT_EQ(a.tempPath().parent_path(), dir.path);
}

TEST(FileStore, saveRemovesOnlyOldLeftoverTemporaryFiles) {
    TempDir dir;
    const fs::path path = dir.path / "settings";
    const auto old = fs::file_time_type::clock::now() - 2 * kStaleTempFileAge;
    auto leave = [&](const std::string& name, bool aged) {
        writeFile(dir.path / name, "Mode=3\n");
        if (aged)
            fs::last_write_time(dir.path / name, old);
    };
    // What killed saves of this file leave: removed once old.
    leave("settings.tmp-0123456789abcdef", true);
    leave("settings.tmp-fedcba9876543210", true);
    // Possibly a save in progress right now: kept.
    leave("settings.tmp-00000000000000ff", false);
    // Not a temporary file of this settings file: kept however old.
    leave("settings.tmp-0123", true);
    leave("settings.tmp-0123456789abcdeg", true);
    leave("settings.tmp-0123456789abcdef0", true);
    leave("settings.bak", true);
    leave("other.tmp-0123456789abcdef", true);
    fs::create_directories(dir.path / "settings.tmp-aaaaaaaaaaaaaaaa");
    std::error_code ec; // Windows' runtime cannot set a folder's time; kept anyway
    fs::last_write_time(dir.path / "settings.tmp-aaaaaaaaaaaaaaaa", old, ec);

    FileStore store(path);
    const Settings saved = unusualSettings();
    saveSettings(saved, store);

    EXPECT_FALSE(fs::exists(dir.path / "settings.tmp-0123456789abcdef"));
    EXPECT_FALSE(fs::exists(dir.path / "settings.tmp-fedcba9876543210"));
    for (const char* kept : {"settings.tmp-00000000000000ff", "settings.tmp-0123", "settings.tmp-0123456789abcdeg",
                             "settings.tmp-0123456789abcdef0", "settings.bak", "other.tmp-0123456789abcdef",
                             "settings.tmp-aaaaaaaaaaaaaaaa"})
        EXPECT_TRUE(fs::exists(dir.path / kept)) << kept;
    // Leftovers are never read as the settings.
    Settings loaded;
    loadSettings(loaded, store);
    expectSameSettings(loaded, saved);
}

TEST(FileStore, linkedSettingsFileStaysLinked) {
    TempDir dir;
    const fs::path real = dir.path / "dotfiles" / "kelvara-settings";
    fs::create_directories(real.parent_path());
    writeFile(real, "Mode=2\n");
    const fs::path link = dir.path / "settings";
    std::error_code ec;
    fs::create_symlink(real, link, ec);
    if (ec)
        GTEST_SKIP() << "no symbolic links here: " << ec.message();
    FileStore store(link);
    Settings s;
    loadSettings(s, store);
    EXPECT_EQ(s.Mode, 2);
    s.Mode = 3;
    saveSettings(s, store);
    EXPECT_TRUE(fs::is_symlink(link));
    loadSettings(s, FileStore(real));
    EXPECT_EQ(s.Mode, 3);
}

TEST(FileStore, pathFollowsXdgThenHome) {
    EXPECT_EQ(settingsFilePath("/cfg", "/home/u").generic_string(), "/cfg/kelvara/settings");
    EXPECT_EQ(settingsFilePath("/cfg//", "/home/u").generic_string(), "/cfg/kelvara/settings");
    // Relative or empty XDG_CONFIG_HOME is ignored, as the convention says.
    EXPECT_EQ(settingsFilePath("cfg", "/home/u").generic_string(), "/home/u/.config/kelvara/settings");
    EXPECT_EQ(settingsFilePath("", "/home/u/").generic_string(), "/home/u/.config/kelvara/settings");
    EXPECT_EQ(settingsFilePath(nullptr, "/home/u").generic_string(), "/home/u/.config/kelvara/settings");
    EXPECT_TRUE(settingsFilePath(nullptr, nullptr).empty());
    EXPECT_TRUE(settingsFilePath("relative", "").empty());

    // Without any path a store has no settings and cannot save, and says so.
    FileStore nowhere{fs::path()};
    Settings s = unusualSettings();
    testing::internal::CaptureStderr();
    loadSettings(s, nowhere);
    saveSettings(s, nowhere);
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
    EXPECT_EQ(s.Priority, 2);
}
