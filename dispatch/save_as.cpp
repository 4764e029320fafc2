#include "dispatch/save_as.h"

#include "core/current_image.h"
#include "platform/paths.h"

#include <cctype>
#include <cstdio>

namespace pictorand {

namespace {

std::string upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

const std::vector<FileTypeFilter>& openDialogTypes()
{
    static const std::vector<FileTypeFilter> types = {
        {"Pictorand - Files",
         "*.jpg;*.jpeg;*.gif;*.bmp;*.tif;*.tiff;*.png;*.pcx;*.tga;*.pcd;*.ras;*.sun;*.rle;*.dib;*.ico;*.avi;*.wav;"
         "*.rmi;*.mid;*.wmf;*.emf;*.pbm;*.pgm;*.ppm;*.iff;*.lbm"},
        {"(*.JPG) JPEG - Files", "*.jpg;*.jpeg"},
        {"(*.GIF) Compuserve GIF", "*.gif"},
        {"(*.BMP) Windows or OS/2 Bitmap", "*.bmp"},
        {"(*.TIF) Tagged Image File Format", "*.tif;*.tiff"},
        {"(*.PNG) Portable Network Graphics", "*.png"},
        {"(*.PCX) Zsoft Paintbrush", "*.pcx"},
        {"(*.TGA) Truevision Targa", "*.tga"},
        {"(*.PCD) Kodak Photo CD", "*.pcd"},
        {"(*.RAS) Sun Raster Files", "*.ras;*.sun"},
        {"(*.RLE) Windows RLE", "*.rle"},
        {"(*.DIB) Windows or OS/2 DIB", "*.dib"},
        {"(*.ICO) Windows Icons", "*.ico"},
        {"(*.AVI) Video for Windows", "*.avi"},
        {"(*.WAV,*.MID,*.RMI) Sound Files", "*.wav;*.mid;*.rmi"},
        {"(*.WMF,*.EMF) Windows Metafiles", "*.wmf;*.emf"},
        {"(*.PPM) Portable Pixelmap", "*.ppm"},
        {"(*.PGM) Portable Greymap", "*.pgm"},
        {"(*.PBM) Portable Bitmap", "*.pbm"},
        {"(*.IFF,*.LBM) Amiga Interchange File Format", "*.iff;*.lbm"},
        {"All files (*.*)", "*.*"},
    };
    return types;
}

const std::vector<FileTypeFilter>& saveDialogTypes()
{
    static const std::vector<FileTypeFilter> types = {
        {"(*.JPG) JPEG - Files", "*.jpg;*.jpeg"},
        {"(*.GIF) Compuserve GIF", "*.gif"},
        {"(*.BMP) Windows Bitmap", "*.bmp"},
        {"(*.PNG) Portable Network Graphics", "*.png"},
        {"(*.TIF) Tagged Image File Format", "*.tif"},
        {"(*.PCX) Zsoft Paintbrush", "*.pcx"},
        {"(*.ICO) Windows Icon", "*.ico"},
    };
    return types;
}

std::string proposedSaveAsName(const std::string& currentPath)
{
    if (currentPath == kClipboardPath)
        return "Clipboard";
    if (currentPath == kScanImagePath)
        return "ScanImage";
    return baseNameWithoutExtension(currentPath);
}

bool CheckSaveExtension(std::string& path, SaveType type)
{
    const SaveTypeInfo& info = saveTypeTable()[static_cast<size_t>(type) - 1];
    // Only the file name counts: a dot in a directory name (a common thing
    // here) says nothing about the extension.
    const std::string name = fileNameOf(path);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) {
        path += info.extension;
        return true;
    }
    return upper(name.substr(dot + 1, 3)) == info.key;
}

std::string replaceFileQuestion(const std::string& path) { return std::string("Replace file") + ": " + path + " ?\n"; }

std::string savedDirectory(const SettingsFile& settings) { return settings.readText(settings::SaveDir); }

SaveType savedType(const SettingsFile& settings)
{
    int index = settings.readInt(settings::SaveIndex);
    return index >= 1 && index <= kSaveTypeCount ? static_cast<SaveType>(index) : SaveType::Jpg;
}

void rememberSaveChoice(SettingsFile& settings, const std::string& chosenPath, SaveType type)
{
    settings.writeText(settings::SaveDir, directoryOf(chosenPath));
    settings.writeInt(settings::SaveIndex, static_cast<int>(type));
}

std::string extractedFileName(const std::string& directory, const std::string& sourcePath, int index)
{
    std::string folder = directory;
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    char number[16];
    std::snprintf(number, sizeof number, "%.3d", index);
    return folder + baseNameWithoutExtension(sourcePath) + "_pictorand_extract_" + number + ".bmp";
}

} // namespace pictorand
