#include "dispatch/open_preview.h"

#include <system_error>

namespace pictorand {

std::optional<FileStamp> stampFile(const std::string& path)
{
    std::error_code error;
    if (path.empty() || !std::filesystem::is_regular_file(path, error))
        return std::nullopt;
    FileStamp stamp;
    stamp.canonicalPath = std::filesystem::canonical(path, error).string();
    if (error)
        return std::nullopt;
    stamp.size = std::filesystem::file_size(path, error);
    if (error)
        return std::nullopt;
    stamp.modified = std::filesystem::last_write_time(path, error);
    if (error)
        return std::nullopt;
    return stamp;
}

bool previewReadsAsOpen(ImageFormat format)
{
    switch (format) {
    case ImageFormat::Jpeg:
    case ImageFormat::Gif:
    case ImageFormat::Icon:
    case ImageFormat::Media:
    case ImageFormat::Metafile:
        return false;
    default:
        return true;
    }
}

PreviewLoad loadForPreview(const LoadRequest& openRequest, int previewWidth, const CodecRegistry& registry)
{
    PreviewLoad preview;
    const std::string& path = openRequest.file.path;
    // Before the read: a file rewritten while it was read must not match.
    preview.stamp = stampFile(path);
    const std::optional<ImageFormat> format = DetectFormat(path);
    if (format && previewReadsAsOpen(*format)) {
        preview.outcome = load(openRequest, registry);
        const LoadOutcome& read = preview.outcome;
        preview.readAsOpen = read.kind == LoadOutcome::Kind::Picture && read.truncation.empty() && !read.misnamedAs
                             && !read.overviewSheet && read.iconChoices.empty();
        return preview;
    }
    LoadRequest small = openRequest;
    small.purpose = LoadPurpose::Preview;
    small.options.previewWidth = previewWidth;
    preview.outcome = load(small, registry);
    return preview;
}

bool previewStandsForOpen(const PreviewLoad& preview, const std::string& acceptedPath)
{
    const LoadOutcome& read = preview.outcome;
    if (!preview.readAsOpen || !read.block || !read.format || !preview.stamp)
        return false;
    if (!previewReadsAsOpen(*read.format) || read.pageCount() > 1)
        return false;
    const std::optional<FileStamp> accepted = stampFile(acceptedPath);
    return accepted && *accepted == *preview.stamp;
}

} // namespace pictorand
