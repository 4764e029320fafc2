#include "shell/core/file_dialogs.h"

#include "core/current_image.h"
#include "platform/paths.h"

#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace pictorand {

namespace {

std::string filled(const char* format, const char* word)
{
    std::string text(format);
    size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, word);
    return text;
}

constexpr std::array<const char*, 7> kSaveKeys = {"JPG", "GIF", "BMP", "PNG", "TIF", "PCX", "ICO"};
constexpr std::array<const char*, 7> kSaveExtensions = {".jpg", ".gif", ".bmp", ".png", ".tif", ".pcx", ".ico"};

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

const std::vector<FileType>& openFileTypes()
{
    static const std::vector<FileType> types = {
        {filled("Pictorand - %s", "Files"),
         "*.jpg;*.jpeg;*.gif;*.bmp;*.tif;*.tiff;*.png;*.pcx;*.tga;*.pcd;*.ras;*.sun;*.rle;*.dib;*.ico;*.avi;*.wav;"
         "*.rmi;*.mid;*.wmf;*.emf;*.pbm;*.pgm;*.ppm;*.iff;*.lbm"},
        {filled("(*.JPG) JPEG - %s", "Files"), "*.jpg;*.jpeg"},
        {"(*.GIF) Compuserve GIF", "*.gif"},
        {filled("(*.BMP) Windows %s OS/2 Bitmap", "or"), "*.bmp"},
        {"(*.TIF) Tagged Image File Format", "*.tif;*.tiff"},
        {"(*.PNG) Portable Network Graphics", "*.png"},
        {"(*.PCX) Zsoft Paintbrush", "*.pcx"},
        {"(*.TGA) Truevision Targa", "*.tga"},
        {"(*.PCD) Kodak Photo CD", "*.pcd"},
        {filled("(*.RAS) Sun Raster %s", "Files"), "*.ras;*.sun"},
        {"(*.RLE) Windows RLE", "*.rle"},
        {filled("(*.DIB) Windows %s OS/2 DIB", "or"), "*.dib"},
        {"(*.ICO) Windows Icons", "*.ico"},
        {filled("(*.AVI) Video %s Windows", "for"), "*.avi"},
        {filled("(*.WAV,*.MID,*.RMI) Sound %s", "Files"), "*.wav;*.mid;*.rmi"},
        {"(*.WMF,*.EMF) Windows Metafiles", "*.wmf;*.emf"},
        {"(*.PPM) Portable Pixelmap", "*.ppm"},
        {"(*.PGM) Portable Greymap", "*.pgm"},
        {"(*.PBM) Portable Bitmap", "*.pbm"},
        {"(*.IFF,*.LBM) Amiga Interchange File Format", "*.iff;*.lbm"},
        {filled("%s (*.*)", "All files"), "*.*"},
    };
    return types;
}

const std::vector<FileType>& saveFileTypes()
{
    static const std::vector<FileType> types = {
        {filled("(*.JPG) JPEG - %s", "Files"), "*.jpg;*.jpeg"},
        {"(*.GIF) Compuserve GIF", "*.gif"},
        {"(*.BMP) Windows Bitmap", "*.bmp"},
        {"(*.PNG) Portable Network Graphics", "*.png"},
        {"(*.TIF) Tagged Image File Format", "*.tif"},
        {"(*.PCX) Zsoft Paintbrush", "*.pcx"},
        {"(*.ICO) Windows Icon", "*.ico"},
    };
    return types;
}

bool CheckSaveExtension(std::string& path, int type)
{
    if (type < 1 || type > 7)
        return false;
    const size_t index = static_cast<size_t>(type - 1);
    const size_t nameStart = path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1;
    const size_t dot = path.find('.', nameStart);
    if (dot == std::string::npos) {
        path += kSaveExtensions[index];
        return true;
    }
    const size_t lastDot = path.rfind('.');
    std::string key = path.substr(lastDot + 1, 3);
    for (char& c : key)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key == kSaveKeys[index];
}

std::optional<std::string> ChooseOpenFile(FileDialogs& dialogs, const SettingsFile& settings, int& rememberedType)
{
    const std::string before = workingDirectory();
    const std::string openDir = settings.readText(settings::OpenDir);
    changeDirectory(openDir);

    FileDialogRequest request;
    request.title = "Open";
    request.directory = workingDirectory();
    request.types = openFileTypes();
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

std::string proposedSaveName(const std::string& currentPath)
{
    if (currentPath == kClipboardPath)
        return "Clipboard";
    if (currentPath == kScanImagePath)
        return "ScanImage";
    return baseNameWithoutExtension(currentPath);
}

std::optional<std::string> ChooseSaveFile(FileDialogs& dialogs, UserInterface& ui, SettingsFile& settings,
                                          const std::string& currentPath)
{
    const std::string before = workingDirectory();
    const std::string saveDir = settings.readText(settings::SaveDir);
    changeDirectory(saveDir);

    FileDialogRequest request;
    request.save = true;
    request.title = "Save Picture As ...";
    request.directory = workingDirectory();
    request.types = saveFileTypes();
    int saveIndex = settings.readInt(settings::SaveIndex);
    request.selectedType = saveIndex >= 1 && saveIndex <= 7 ? saveIndex : 1;
    request.proposedName = proposedSaveName(currentPath);
    request.optionsButton = true;
    // FIXME: enable when the save options pages exist.
    request.optionsEnabled = false;

    for (;;) {
        std::optional<FileDialogResult> result = dialogs.runFileDialog(request);
        changeDirectory(before);
        if (!result || result->path.empty())
            return std::nullopt;
        std::string path = result->path;
        std::string chosenDirectory = directoryOf(path);
        if (!CheckSaveExtension(path, result->type)) {
            ui.showMessage(kIncorrectExtensionMessage, MessageIcon::Information);
            // Open again where the user was, with what was typed.
            request.directory = chosenDirectory.empty() ? request.directory : chosenDirectory;
            request.selectedType = result->type;
            request.proposedName = fileNameOf(result->path);
            changeDirectory(request.directory);
            continue;
        }
        std::error_code error;
        if (std::filesystem::exists(path, error)) {
            if (!ui.askYesNo("Replace file: " + path + " ?\n", MessageIcon::Question, true))
                return std::nullopt;
        }
        if (!chosenDirectory.empty())
            settings.writeText(settings::SaveDir, chosenDirectory);
        settings.writeInt(settings::SaveIndex, result->type);
        return path;
    }
}

} // namespace pictorand
