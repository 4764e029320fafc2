#pragma once
// The file commands on the picture on screen: copy and move to a remembered
// folder, rename, and delete to the trash; plus the directory chooser the
// Copy-Move and batch dialogs browse with. The picture stays on screen and
// the directory list keeps its place.

#include "shell/picture_host.h"

#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace pictorand {

inline constexpr const char* kNoDestinationDirectory =
    "No destination directory is set: choose one in the Copy/Move options.";
inline constexpr const char* kNoTrashQuestion =
    "%s:\n%s\n\nThis file system has no trash, so the file cannot be restored later.\nDelete it for good ?";
inline constexpr const char* kBothPlaces = "The file now exists in both places:";

// "Replace file:\n\t<destination> , <size>  bytes\nwith file:\n\t<source> , <size>  bytes\n"
std::string replaceQuestion(const std::string& destination, uint64_t destinationSize, const std::string& source,
                            uint64_t sourceSize);

class FileMenu {
public:
    explicit FileMenu(PictureHost& host);

    void registerHandlers(CommandHandlers& handlers);

    // The Copy-Move dialog, browsing with directoryChooser: the destination
    // directory, nothing when cancelled.
    static std::optional<std::string> copyMoveDialog(bool move, const std::string& currentPath,
                                                     SettingsFile& settings, QWidget* owner);
    // The Copy-Move dialog as the commands run it (tests substitute it).
    static std::function<std::optional<std::string>(bool move, const std::string& currentPath, SettingsFile& settings,
                                                     QWidget* owner)>
        copyMoveChooser;
    // The rename dialog: the new name as typed, nothing when cancelled.
    static std::function<std::optional<std::string>(const std::string& name, QWidget* owner)> renamePrompt;
    // The directory chooser: the folder chosen, starting at `start`; nothing
    // when cancelled.
    static std::function<std::optional<std::string>(const std::string& start, QWidget* owner)> directoryChooser;

private:
    void copyOrMove(bool move);
    void rename();
    void remove();
    void batchConversion();
    void extractAllPages();
    // The short "Copying ..." / "Deleting ..." window, closed after `ms`.
    QWidget* showNote(const char* text, int ms);

    PictureHost& m_host;
};

} // namespace pictorand
