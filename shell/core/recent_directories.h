#pragma once
// The five recently used directories of the File menu (section MRUD, keys
// Dir1 to Dir5, most recent first).

#include "platform/settings_file.h"

#include <array>
#include <string>

namespace pictorand {

inline constexpr int kRecentDirectoryCount = 5;
using RecentDirectories = std::array<std::string, kRecentDirectoryCount>;

RecentDirectories readRecentDirectories(const SettingsFile& settings);
void writeRecentDirectories(SettingsFile& settings, const RecentDirectories& directories);

// The list after `directory` was in use: already first, nothing changes; one
// of the others moves to the front and those before it move down; a new one
// takes the first empty entry, or, when all five are taken, the front with
// the others moved down and the last dropped. An empty directory changes
// nothing.
RecentDirectories rememberRecentDirectory(RecentDirectories directories, const std::string& directory);

} // namespace pictorand
