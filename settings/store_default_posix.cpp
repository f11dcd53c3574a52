// The settings store of the POSIX build: the settings file under the user's
// configuration folder.
#include "settings/settings_store.h"
#include "settings/store_file.h"

namespace kelvara {

std::unique_ptr<SettingsStore> makePlatformStore() {
    return std::make_unique<FileStore>(defaultSettingsFilePath());
}

} // namespace kelvara
