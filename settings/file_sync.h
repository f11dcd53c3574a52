#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace kelvara {

// Asks the system to put a written file's bytes on the disk before returning,
// so that a rename over an older file cannot outlive the new contents across a
// power loss. `f` is flushed first. False (with the reason) when the system
// reports that the bytes may not have reached the disk.
bool syncFileToDisk(std::FILE* f, std::string& reason);

// Makes a rename inside `folder` reach the disk, where the system needs the
// folder itself synced for that (POSIX); elsewhere a no-op. Failures are
// ignored: the rename has happened, only its survival of a power loss is open.
void syncFolderToDisk(const std::filesystem::path& folder);

} // namespace kelvara
