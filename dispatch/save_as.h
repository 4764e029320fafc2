#pragma once
// The rules of the Open and Save-as dialogs, free of any toolkit, for the
// dialogs to call: the type lists as data, the proposed name, the extension
// check, the replace question, the remembered directory and type, and the
// names of extracted frames and pages.

#include "core/image_format.h"
#include "platform/settings_file.h"

#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kIncorrectSaveExtension = "Sorry, incorrect extension !";
inline constexpr const char* kSaveDialogTitle = "Save Picture As ...";
inline constexpr const char* kOpenDialogTitle = "Open";

// ---------------------------------------------------------------------------
// Type lists of the file dialogs, as data.

struct FileTypeFilter {
    std::string description; // "(*.GIF) Compuserve GIF"
    std::string patterns;    // "*.gif", several separated by ';'
};
// The Open dialog's types, in order: every picture, the formats' entries,
// "All files (*.*)".
const std::vector<FileTypeFilter>& openDialogTypes();
// The Save-as dialog's types, in order: type numbers 1, 2, ... of the
// savable formats.
const std::vector<FileTypeFilter>& saveDialogTypes();

// ---------------------------------------------------------------------------
// Save-as naming.

// The name the Save-as dialog proposes for the current picture: the file
// name without directory and extension; "Clipboard" for "<Clipboard>",
// "ScanImage" for "<ScanImage>".
std::string proposedSaveAsName(const std::string& currentPath);

// The extension check of the Save-as dialog for type number `type` (any
// other number counts as 1). A file name without any "." gets the type's
// extension (".jpg" ...) appended and passes. Otherwise the first three
// characters of the extension, upper-cased, must be the type's key, so
// ".tiff" passes as TIF while ".jpeg" fails as JPG. On failure the dialog
// shows kIncorrectSaveExtension and opens again.
bool CheckSaveExtension(std::string& path, int type);

// "Replace file: <path> ?\n", asked (question icon, No preselected) when the
// chosen file exists.
std::string replaceFileQuestion(const std::string& path);

// The directory the Save-as dialog starts in, and the type number it
// preselects (a savable format's; anything else gives 1).
std::string savedDirectory(const SettingsFile& settings);
int savedType(const SettingsFile& settings);
// After an accepted save: SaveDir becomes the directory of the chosen path,
// SaveIndex the type number.
void rememberSaveChoice(SettingsFile& settings, const std::string& chosenPath, int type);

// ---------------------------------------------------------------------------
// Extracted GIF frames and TIFF pages.

// "<directory>/<name>_pictorand_extract_007.bmp" for the source "dir/name.gif"
// and index 7; a slash is added to the directory when missing.
std::string extractedFileName(const std::string& directory, const std::string& sourcePath, int index);


} // namespace pictorand
