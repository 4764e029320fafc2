#include "shell/core/file_dialogs.h"

#include "core/current_image.h"
#include "platform/paths.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace pictorand {

namespace {

std::string workingDirectory()
{
    std::error_code error;
    std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
}

void changeDirectory(const std::string& directory)
{
    if (directory.empty())
        return;
    std::error_code error;
    std::filesystem::current_path(directory, error); // failures are ignored, as a bad OpenDir is
}

} // namespace

std::optional<std::string> ChooseOpenFile(FileDialogs& dialogs, const SettingsFile& settings, int& rememberedType)
{
    const std::string before = workingDirectory();
    const std::string openDir = settings.readText(settings::OpenDir);
    changeDirectory(openDir);

    FileDialogRequest request;
    request.title = kOpenDialogTitle;
    request.directory = workingDirectory();
    request.types = openDialogTypes();
    request.selectedType = rememberedType >= 1 && rememberedType <= static_cast<int>(request.types.size())
                               ? rememberedType
                               : 1;
    std::optional<FileDialogResult> result = dialogs.runFileDialog(request);
    if (!result || result->path.empty()) {
        changeDirectory(before);
        return std::nullopt;
    }
    rememberedType = result->type;
    std::string directory = directoryOf(result->path);
    if (!directory.empty())
        changeDirectory(directory);
    return result->path;
}

std::optional<std::string> ChooseSaveFile(FileDialogs& dialogs, UserInterface& ui, SettingsFile& settings,
                                          const std::string& currentPath)
{
    const std::string before = workingDirectory();
    const std::string saveDir = savedDirectory(settings);
    changeDirectory(saveDir);

    FileDialogRequest request;
    request.save = true;
    request.title = kSaveDialogTitle;
    request.directory = workingDirectory();
    request.types = saveDialogTypes();
    request.selectedType = static_cast<int>(savedType(settings));
    request.proposedName = proposedSaveAsName(currentPath);
    request.optionsButton = true;
    request.optionsEnabled = true;

    for (;;) {
        std::optional<FileDialogResult> result = dialogs.runFileDialog(request);
        changeDirectory(before);
        if (!result || result->path.empty())
            return std::nullopt;
        std::string path = result->path;
        std::string chosenDirectory = directoryOf(path);
        const int type = savableFormatByNumber(result->type) ? result->type : 1;
        if (!CheckSaveExtension(path, type)) {
            ui.showMessage(kIncorrectSaveExtension, MessageIcon::Information);
            // Open again where the user was, with what was typed.
            request.directory = chosenDirectory.empty() ? request.directory : chosenDirectory;
            request.selectedType = result->type;
            request.proposedName = fileNameOf(result->path);
            changeDirectory(request.directory);
            continue;
        }
        std::error_code error;
        if (std::filesystem::exists(path, error)) {
            if (!ui.askYesNo(replaceFileQuestion(path), MessageIcon::Question, true))
                return std::nullopt;
        }
        rememberSaveChoice(settings, path, type);
        return path;
    }
}

std::vector<std::string> namesInFileNameField(const std::string& text)
{
    std::vector<std::string> names;
    if (text.empty())
        return names;
    names.push_back(text);
    if (std::count(text.begin(), text.end(), '"') <= 2)
        return names;
    // "a.jpg" "b.jpg": the names stand between the odd and even quotes.
    size_t open = text.find('"');
    while (open != std::string::npos) {
        const size_t close = text.find('"', open + 1);
        if (close == std::string::npos)
            break;
        if (close > open + 1)
            names.push_back(text.substr(open + 1, close - open - 1));
        open = text.find('"', close + 1);
    }
    return names;
}

} // namespace pictorand
