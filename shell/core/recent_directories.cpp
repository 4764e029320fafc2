#include "shell/core/recent_directories.h"

#include <algorithm>

namespace pictorand {

RecentDirectories readRecentDirectories(const SettingsFile& settings)
{
    RecentDirectories directories;
    for (size_t i = 0; i < directories.size(); ++i)
        directories[i] = settings.readText(settings::RecentDirs[i]);
    return directories;
}

void writeRecentDirectories(SettingsFile& settings, const RecentDirectories& directories)
{
    for (size_t i = 0; i < directories.size(); ++i)
        settings.writeText(settings::RecentDirs[i], directories[i]);
}

RecentDirectories rememberRecentDirectory(RecentDirectories directories, const std::string& directory)
{
    if (directory.empty() || directories[0] == directory)
        return directories;
    auto found = std::find(directories.begin() + 1, directories.end(), directory);
    if (found != directories.end()) {
        std::rotate(directories.begin(), found, found + 1);
        return directories;
    }
    auto empty = std::find(directories.begin(), directories.end(), std::string());
    if (empty != directories.end()) {
        *empty = directory;
        return directories;
    }
    std::rotate(directories.begin(), directories.end() - 1, directories.end());
    directories[0] = directory;
    return directories;
}

} // namespace pictorand
