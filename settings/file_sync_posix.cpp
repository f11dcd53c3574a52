// Durability of the settings file on POSIX systems: fsync on the file and on
// its folder.
#include "settings/file_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace kelvara {

bool syncFileToDisk(std::FILE* f, std::string& reason) {
    if (std::fflush(f) != 0 || fsync(fileno(f)) != 0) {
        reason = std::generic_category().message(errno);
        return false;
    }
    return true;
}

void syncFolderToDisk(const std::filesystem::path& folder) {
    const int fd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    close(fd);
}

} // namespace kelvara
