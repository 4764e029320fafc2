#pragma once
// Saving: the writer is picked from the target's extension, the block is
// prepared as that writer needs it, and failures are reported in the
// writer's words. The Save-as dialog's rules (type list, proposed name,
// extension check, remembered directory and type) live here too, free of any
// toolkit, for the dialog to call.

#include "core/codec_registry.h"
#include "core/image_block.h"
#include "platform/settings_file.h"
#include "platform/user_interface.h"

#include <optional>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kSaveError = "Save error !";
inline constexpr const char* kUnsupportedSaveType = "Unsupported save type";
inline constexpr const char* kIncorrectSaveExtension = "Sorry, incorrect extension !";
inline constexpr const char* kSaveDialogTitle = "Save Picture As ...";

// Writes `block` to `path`; the writer is chosen by the last three characters
// of the path (any case). Save options are read from the settings file.
// Messages go to `ui` when showMessages is set. True when written.
//
// The writer works on a temporary file beside the target, which replaces the
// target only when the writer succeeded: a failed save (a full disk, a writer
// error) leaves an existing file as it was.
bool SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages);
// With `replaceExisting` false an existing target is never replaced, not
// even by a file that appears while the writer runs (the batch run).
bool SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages,
               const CodecRegistry& registry, const SettingsFile& settings, bool replaceExisting = true);

// ---------------------------------------------------------------------------
// Type lists of the file dialogs, as data.

struct FileTypeFilter {
    std::string description; // "(*.GIF) Compuserve GIF"
    std::string patterns;    // "*.gif", several separated by ';'
};
// The Open dialog's types, in order (the last is "All files (*.*)").
const std::vector<FileTypeFilter>& openFileTypes();
// The Save-as dialog's types, in order: type numbers 1 to 7 (SaveType).
const std::vector<FileTypeFilter>& saveFileTypes();

// ---------------------------------------------------------------------------
// Save-as naming.

// The name the Save-as dialog proposes for the current picture: the file
// name without directory and extension; "Clipboard" for "<Clipboard>",
// "ScanImage" for "<ScanImage>".
std::string proposedSaveName(const std::string& currentPath);

// The extension check of the Save-as dialog. A file name without any "." gets
// the type's extension (".jpg" ...) appended and passes. Otherwise the first
// three characters of the extension, upper-cased, must be the type's key, so
// ".tiff" passes as TIF while ".jpeg" fails as JPG. On failure the dialog
// shows kIncorrectSaveExtension and opens again.
bool CheckSaveExtension(std::string& path, SaveType type);

// "Replace file: <path> ?\n", asked (question icon, No preselected) when the
// chosen file exists.
std::string replaceFileQuestion(const std::string& path);

// The directory the Save-as dialog starts in, and the type it preselects
// (1 to 7; anything else gives 1).
std::string savedDirectory(const SettingsFile& settings);
SaveType savedType(const SettingsFile& settings);
// After an accepted save: SaveDir becomes the directory of the chosen path,
// SaveIndex the type number.
void rememberSaveChoice(SettingsFile& settings, const std::string& chosenPath, SaveType type);

// ---------------------------------------------------------------------------
// Extracted GIF frames and TIFF pages.

// "<directory>/<name>_pictorand_extract_007.bmp" for the source "dir/name.gif"
// and index 7; a slash is added to the directory when missing.
std::string extractedFileName(const std::string& directory, const std::string& sourcePath, int index);

} // namespace pictorand
