#pragma once
// The Open dialog's preview load, and the rule by which the Open command may
// take the picture the preview read instead of reading the file again.
//
// Taking it is only sound when it is the very picture the Open command's
// own load would give: the same file, unchanged since, read the same way.
// So the preview reads the formats the Open command may take exactly as
// that load does (against the viewer's settings, with nothing said to the
// user), and reads the others quickly for the preview alone.

#include "core/codec_registry.h"
#include "core/current_image.h"
#include "dispatch/load_dispatch.h"

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
    CurrentImage record;            // what the load wrote, block and path included
    // Read as the Open command reads it, and the read had nothing to say or
    // ask (no truncation notice, no rename question, no overview notice):
    // the Open command, reading it again, would end with the same record.
    bool readAsOpen = false;
};

// Reads `path` for the preview: as the Open command reads it (through
// `viewer`'s settings) when previewReadsAsOpen says so, else at
// `previewWidth`. Leaves the viewer's record alone and says nothing.
PreviewLoad loadForPreview(DisplayHost& viewer, const std::string& path, int previewWidth,
                           const CodecRegistry& registry = CodecRegistry::instance());

// True when the Open command may take `preview`'s record as the picture of
// `acceptedPath`: it was read as the Open command reads it, is not a
// multi-page TIFF (whose pages the Open command lists), and the accepted
// file is the previewed one, unchanged (same canonical path, size and
// modification time).
bool previewStandsForOpen(const PreviewLoad& preview, const std::string& acceptedPath);

} // namespace pictorand
