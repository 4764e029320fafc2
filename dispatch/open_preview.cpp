#include "dispatch/open_preview.h"

#include <system_error>

namespace pictorand {

namespace {

// Hears what a load would have said to the user, and says nothing: what the
// Open command's own load would say (a truncated file, a rename question)
// must still be said, so such a read is not taken.
class ListeningUserInterface : public UserInterface {
public:
    void showMessage(const std::string&, MessageIcon) override { spoke = true; }
    bool askYesNo(const std::string&, MessageIcon, bool) override
    {
        spoke = true;
        return false; // a preview renames nothing
    }
    void setWaitCursor(bool) override {}
    void setWindowTitle(const std::string&) override {}
    void rebuildDirectoryList() override {}
    void postCommand(int) override { spoke = true; }

    bool spoke = false;
};

// The viewer's settings around a record of the preview's own: the viewer's
// picture, window and directory list stay as they are.
class PreviewHost : public DisplayHost {
public:
    explicit PreviewHost(DisplayHost& viewer) : m_viewer(viewer) {}

    CurrentImage& currentImage() override { return record; }
    UserInterface& userInterface() override { return ui; }
    void resetViewerState() override {}
    void resetWindow() override {}
    bool fullScreenWindowExists() const override { return false; }
    bool slideshowWindowExists() const override { return false; }
    bool paletteDisplay() const override { return m_viewer.paletteDisplay(); }
    bool loadGreyscale() const override { return m_viewer.loadGreyscale(); }
    int photoCdLoadingSize() const override { return m_viewer.photoCdLoadingSize(); }
    PictureCorrections pictureCorrections() const override { return m_viewer.pictureCorrections(); }
    std::string directoryListDirectory() const override { return m_viewer.directoryListDirectory(); }
    bool renameExtensionEnabled() const override { return m_viewer.renameExtensionEnabled(); }
    bool workingDirectoryChanged() const override { return false; }

    CurrentImage record;
    ListeningUserInterface ui;

private:
    DisplayHost& m_viewer;
};

} // namespace

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

PreviewLoad loadForPreview(DisplayHost& viewer, const std::string& path, int previewWidth,
                           const CodecRegistry& registry)
{
    PreviewLoad preview;
    // Before the read: a file rewritten while it was read must not match.
    preview.stamp = stampFile(path);
    const std::optional<ImageFormat> format = DetectFormat(path);
    if (!format)
        return preview;
    PreviewHost host(viewer);
    std::string readPath = path;
    ImageBlock block;
    if (previewReadsAsOpen(*format)) {
        block = LoadForDisplay(host, readPath, false, false, 0, registry);
        preview.readAsOpen = block && !host.ui.spoke && readPath == path;
    } else {
        block = LoadForDisplay(host, readPath, true, true, previewWidth, registry);
    }
    preview.record = std::move(host.record);
    preview.record.block = std::move(block);
    preview.record.path = path;
    return preview;
}

bool previewStandsForOpen(const PreviewLoad& preview, const std::string& acceptedPath)
{
    if (!preview.readAsOpen || !preview.record.block || !preview.stamp)
        return false;
    if (!previewReadsAsOpen(preview.record.format) || preview.record.multiPage)
        return false;
    const std::optional<FileStamp> accepted = stampFile(acceptedPath);
    return accepted && *accepted == *preview.stamp;
}

} // namespace pictorand
