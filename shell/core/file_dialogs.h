#pragma once
// The Open and Save-as dialogs' logic: the type lists, the directories they
// start in, the remembered type, the extension check and the replace
// question. The dialog itself is behind FileDialogs (a non-native Qt file
// dialog in the viewer, a script in the tests).

#include "dispatch/save_as.h"
#include "platform/settings_file.h"
#include "platform/user_interface.h"

#include <optional>
#include <string>
#include <vector>

namespace pictorand {

// A type of the dialogs' lists (the lists themselves are openDialogTypes() and
// saveDialogTypes() of dispatch/save_as.h).
using FileType = FileTypeFilter;

struct FileDialogRequest {
    bool save = false;
    std::string title;
    std::string directory;
    std::vector<FileType> types;
    int selectedType = 1; // 1-based
    std::string proposedName;
    // The Save-as dialog's "Options" button (the save-options sheet).
    bool optionsButton = false;
    bool optionsEnabled = false;
};

struct FileDialogResult {
    std::string path;
    int type = 1; // 1-based index of the type chosen
};

class FileDialogs {
public:
    virtual ~FileDialogs() = default;
    // Nothing when the user cancels.
    virtual std::optional<FileDialogResult> runFileDialog(const FileDialogRequest& request) = 0;
};

// The Open dialog. Starts in OpenDir; `rememberedType` is the type chosen
// last time in this run (1-based) and is updated. Cancel restores the working
// directory; OK makes the file's directory the working directory.
std::optional<std::string> ChooseOpenFile(FileDialogs& dialogs, const SettingsFile& settings, int& rememberedType);

// The Save-as dialog for the picture named `currentPath`. Reopens after a
// refused extension, asks before replacing a file (No preselected), writes
// SaveDir and SaveIndex on success. The working directory is left as it was.
std::optional<std::string> ChooseSaveFile(FileDialogs& dialogs, UserInterface& ui, SettingsFile& settings,
                                          const std::string& currentPath);

// The names an open dialog's file-name field may hold, to be tried in turn
// against the folder it shows: the whole text, then, when it holds more than
// two double quotes (several files selected), each quoted name.
std::vector<std::string> namesInFileNameField(const std::string& text);

} // namespace pictorand
