// A process saving the settings is killed (SIGKILL) at random moments; the
// settings file it leaves must load as exactly the old or the new record,
// never a mix, a truncated file or the defaults.
//
// The child saves two full records alternately in a tight loop through the
// real file store, so a kill lands somewhere inside a save almost every time;
// the delays spread from before the first save to many saves later. The seed
// is printed; KELVARA_CRASHSAVE_SEED repeats a run.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "settings/settings_store.h"
#include "settings/store_file.h"

using namespace kelvara;
namespace fs = std::filesystem;

namespace {

constexpr int kKills = 100;

// Records that differ from each other and from the defaults in every field:
// a value missing from the file loads as its default and matches neither, a
// mix of the two matches neither, and a cut number changes its value.
Settings record(int32_t offset) {
    Settings s;
    for (std::size_t i = 0; i < kSettingFields.size(); ++i) {
        const SettingField& f = kSettingFields[i];
        const int32_t v = f.defaultValue + offset + static_cast<int32_t>(i);
        if (f.type == FieldType::Float)
            setFloatField(s, f, static_cast<float>(v));
        else
            setIntField(s, f, v);
    }
    return s;
}

bool sameSettings(const Settings& a, const Settings& b) {
    for (const SettingField& f : kSettingFields) {
        if (storedFieldValue(a, f) != storedFieldValue(b, f))
            return false;
    }
    return true;
}

// The temporary files of the settings file left in its folder.
std::vector<fs::path> tempFiles(const fs::path& settings) {
    std::vector<fs::path> out;
    const std::string prefix = settings.filename().string() + ".tmp-";
    for (const auto& entry : fs::directory_iterator(settings.parent_path())) {
        if (entry.path().filename().string().rfind(prefix, 0) == 0)
            out.push_back(entry.path());
    }
    return out;
}

void sleepMicroseconds(long us) {
    timespec t{us / 1000000, (us % 1000000) * 1000};
    while (nanosleep(&t, &t) != 0) {
    }
}

// The child: saves B, A, B, ... until killed; never returns.
[[noreturn]] void saveForever(const fs::path& file, const Settings& a, const Settings& b) {
    FileStore store(file);
    for (unsigned i = 1;; ++i)
        saveSettings(i % 2 ? b : a, store);
}

} // namespace

TEST(CrashSave, killedSaveLeavesOldOrNewRecord) {
    const char* seedText = std::getenv("KELVARA_CRASHSAVE_SEED");
    const unsigned seed = seedText ? static_cast<unsigned>(std::strtoul(seedText, nullptr, 10))
                                   : static_cast<unsigned>(std::random_device{}());
    std::printf("seed %u (KELVARA_CRASHSAVE_SEED repeats it)\n", seed);
    std::mt19937 rng(seed);

    // On the build's own disk, not a memory-backed /tmp: syncing must cost
    // what it costs for a real settings file.
    const fs::path dir = fs::current_path() / ("crashsave-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path file = dir / "settings";
    const Settings a = record(1000);
    const Settings b = record(2000);

    // One save's duration sets the scale of the delays.
    FileStore store(file);
    constexpr int kTimedSaves = 20;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTimedSaves; ++i)
        saveSettings(i % 2 ? b : a, store);
    const long saveUs = std::max<long>(
        1, static_cast<long>(std::chrono::duration_cast<std::chrono::microseconds>(
                                 std::chrono::steady_clock::now() - start)
                                 .count() /
                             kTimedSaves));
    saveSettings(a, store);

    int leftA = 0, leftB = 0, emptyTemp = 0, writtenTemp = 0, wrong = 0;
    std::set<fs::path> seenTemps;
    for (int kill = 0; kill < kKills; ++kill) {
        // A third within the first save (every phase of it), the rest spread
        // over up to four saves, so the child's start is covered too.
        const long limit = kill % 3 == 0 ? saveUs : 4 * saveUs;
        const long delayUs = std::uniform_int_distribution<long>(0, limit)(rng);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            saveForever(file, a, b);
        sleepMicroseconds(delayUs);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving child ended by itself";

        Settings loaded;
        loadSettings(loaded, FileStore(file));
        if (sameSettings(loaded, a)) {
            ++leftA;
        } else if (sameSettings(loaded, b)) {
            ++leftB;
        } else {
            ++wrong;
            ADD_FAILURE() << "kill " << kill << " after " << delayUs << " us left a file that loads as neither "
                          << "record";
        }
        // Where in the save the kill landed, by the temporary file it left:
        // none (reading, renaming, or between saves), empty (just created)
        // or written (syncing, before the rename).
        for (const fs::path& p : tempFiles(file)) {
            if (seenTemps.insert(p).second)
                ++(fs::file_size(p) == 0 ? emptyTemp : writtenTemp);
        }
    }
    std::printf("%d kills, one save %ld us: file left as A %d, as B %d, neither %d; "
                "killed with an empty temporary file %d, with a written one %d\n",
                kKills, saveUs, leftA, leftB, wrong, emptyTemp, writtenTemp);
    EXPECT_EQ(wrong, 0);
    // Otherwise no child ever finished a save, or none was killed inside
    // one: the kills did not test what they should.
    EXPECT_GT(leftB, 0);
    EXPECT_GT(emptyTemp + writtenTemp, 0) << "no kill landed between a temporary file's creation and its rename";

    // Leftovers are never read; once old, the next save removes them.
    const auto old = fs::file_time_type::clock::now() - 2 * kStaleTempFileAge;
    for (const fs::path& p : tempFiles(file))
        fs::last_write_time(p, old);
    saveSettings(b, store);
    EXPECT_TRUE(tempFiles(file).empty());
    Settings loaded;
    loadSettings(loaded, store);
    EXPECT_TRUE(sameSettings(loaded, b));

    fs::remove_all(dir);
}
