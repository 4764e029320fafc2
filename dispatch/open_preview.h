#pragma once
// The Open dialog's preview load, and the rule by which the Open command may
// take the picture the preview read instead of reading the file again.
//
// Taking it is only sound when it is the very picture the Open command's
// own load would give: the same file, unchanged since, read the same way.
// So the preview reads the formats the Open command may take exactly as
// that load does (the same request), and reads the others quickly for the
// preview alone.

#include "core/codec_registry.h"
#include "dispatch/load.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace pictorand {

// Which file was read. A name typed after previewing another file, a file
// replaced or rewritten under the same name since: another stamp.
struct FileStamp {
    std::string canonicalPath;
    uintmax_t size = 0;
    std::filesystem::file_time_type modified{};
    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};
// Nothing when the path names no existing file.
std::optional<FileStamp> stampFile(const std::string& path);

// False for the formats whose preview never stands for the opened picture:
// a JPEG preview is decoded small, a GIF's first image stands in for its
// animation, an icon file's first image for the chooser, and sound, video
// and metafiles are not read into a block at all.
bool previewReadsAsOpen(ImageFormat format);

struct PreviewLoad {
    std::optional<FileStamp> stamp; // taken before the read
    LoadOutcome outcome;
    // Read as the Open command reads it, and the read has nothing to say or
    // ask (no truncation notice, no rename question, no overview notice):
    // the Open command, reading it again, would end with the same outcome.
    bool readAsOpen = false;
};

// Reads the file of `openRequest` (the Open command's request for it) for
// the preview: as that request when previewReadsAsOpen says so, else as a
// preview `previewWidth` wide.
PreviewLoad loadForPreview(const LoadRequest& openRequest, int previewWidth,
                           const CodecRegistry& registry = CodecRegistry::instance());

// True when the Open command may take `preview`'s outcome as the picture of
// `acceptedPath`: it was read as the Open command reads it, is not a
// multi-page TIFF (whose pages the Open command lists), and the accepted
// file is the previewed one, unchanged (same canonical path, size and
// modification time).
bool previewStandsForOpen(const PreviewLoad& preview, const std::string& acceptedPath);

} // namespace pictorand
