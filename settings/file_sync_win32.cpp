// Durability of the settings file on Windows (compiled for the tests: the
// Windows program keeps its settings in the registry). _commit writes the
// file's buffers through to the disk; NTFS journals the rename itself, and a
// folder cannot be synced, so there is nothing to do for it.
#include "settings/file_sync.h"

#include <io.h>

#include <cerrno>
#include <system_error>

namespace kelvara {

bool syncFileToDisk(std::FILE* f, std::string& reason) {
    if (std::fflush(f) != 0 || _commit(_fileno(f)) != 0) {
        reason = std::generic_category().message(errno);
        return false;
    }
    return true;
}

void syncFolderToDisk(const std::filesystem::path&) {}

} // namespace kelvara
