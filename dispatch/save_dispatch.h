#pragma once
// Saving: the writer is picked from the target's extension, the block is
// prepared as that writer needs it, and failures are reported in the
// writer's words. The Save-as dialog's rules are in save_as.h.

#include "core/codec_registry.h"
#include "core/image_block.h"
#include "core/result.h"
#include "platform/settings_file.h"
#include "platform/user_interface.h"

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pictorand {

inline constexpr const char* kSaveError = "Save error !";
inline constexpr const char* kUnsupportedSaveType = "Unsupported save type";

// Writes `block` to `path`; the writer is chosen by the last three characters
// of the path (any case). Save options are read from the settings file.
// Messages go to `ui` when showMessages is set. A failure says why: the
// system's reason where there is one (a refused folder, a full disk), the
// writer's words in the detail.
//
// The writer works on a temporary file beside the target, which replaces the
// target only when the writer succeeded: a failed save (a full disk, a writer
// error) leaves an existing file as it was.
Status SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages);
// With `replaceExisting` false an existing target is never replaced, not
// even by a file that appears while the writer runs (the batch run).
Status SaveImage(const ImageBlock& block, UserInterface& ui, const std::string& path, bool showMessages,
                 const CodecRegistry& registry, const SettingsFile& settings, bool replaceExisting = true);

// A file's bytes made elsewhere (a JPEG turned block by block), written as
// SaveImage writes: through a temporary file, an existing target replaced
// only when everything was written and `replaceExisting` allows.
Status saveFileBytes(std::span<const uint8_t> bytes, const std::string& path, bool replaceExisting = true);

// Files the program names itself in folders others may write to (extracted
// GIF frames): saved as SaveImage does with messages, but a symbolic link
// planted under the name is replaced by the new file, never followed.
Status SaveOwnFile(const ImageBlock& block, UserInterface& ui, const std::string& path);

} // namespace pictorand
