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
    // The memory store holds exactly the 29 names, each once.
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

TEST(FileStore, hostileContentKeepsEveryReadableValue) {
    TempDir dir;
    const fs::path path = dir.path / "settings";
    std::string text;
    text += "# a comment\n";
    text += "\n   \n";
    text += "Priority=4\r\n";                      // CRLF
    text += "  Mode =  3  \n";                     // spaces around
    text += "x_div=12\n";
    text += "x_div=40\n";                          // the later line wins
    text += "y_div=99999999999999999999999999\n";  // too big: y_div keeps its default
    text += "xyAmplitude=\n";                      // empty: default
    text += "genChildren==5\n";                    // not a number
    text += "rotX0=-5\n";                          // negative into a float: unsigned 4294967291
    text += "zoom1=7\n";
    text += "=5\n";
    text += "no equals sign at all\n";
    text += std::string("useOGL\0=1\n", 10);       // NUL in the name: not useOGL
    text += std::string(200000, 'z') + "=1\n";     // an absurdly long line
    text += "\xff\xfe\x01\x02 binary =\x80\x81\n";
    text += std::string("rotZ1=1\0", 8) + "9\n";   // NUL in the value
    text += "resH=1080";                           // no final newline
    writeFile(path, text);

    FileStore store(path);
    Settings s = unusualSettings();
    testing::internal::CaptureStderr();
    loadSettings(s, store);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "readable file, nothing to report";

    Settings expected;
    setDefaults(expected);
    expected.Priority = 4;
    expected.Mode = 3;
    expected.x_div = 40;
    expected.rotX0 = 4294967291.0f;
    expected.zoom1 = 7;
    expected.resH = 1080;
    expectSameSettings(s, expected);

    // A file of nothing but junk is a key without values.
    writeFile(path, std::string("\0\0\0\n\x89PNG\r\n\x1a\n", 12));
    s = unusualSettings();
    loadSettings(s, store);
    setDefaults(expected);
    expectSameSettings(s, expected);
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
