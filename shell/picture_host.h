#pragma once
// What the menus' commands (image, file, desktop, scanner) may do to the
// viewer around them: read and replace the picture through the controller,
// have it repainted and the window sized to it, talk to the user, and the
// two things the main window does itself (run a command as the menu would,
// start a slideshow).

#include "core/current_image.h"
#include "platform/settings_file.h"
#include "platform/user_interface.h"
#include "shell/core/system_metrics.h"
#include "shell/core/viewer_controller.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

class QWidget;

namespace pictorand {

class PictureHost {
public:
    PictureHost(ViewerController& viewer, QWidget* dialogParent, std::function<void(int)> runCommand,
                std::function<void(std::vector<std::string>)> startSlideshow)
        : m_viewer(viewer), m_dialogParent(dialogParent), m_runCommand(std::move(runCommand)),
          m_startSlideshow(std::move(startSlideshow))
    {
    }

    CurrentImage& picture() { return m_viewer.picture(); }
    // What is on screen: the block, or the canvas of a running animation.
    const ImageBlock& shownBlock() const { return m_viewer.shownBlock(); }
    // Replaces the block and brings the record's current size up to date.
    void adoptPicture(ImageBlock block) { m_viewer.adoptPicture(std::move(block)); }
    // The same for a new sRGB picture, shown in the display's colours.
    void adoptSrgbPicture(ImageBlock block) { m_viewer.adoptSrgbPicture(std::move(block)); }
    // `block` (the picture, or one shown from it) in sRGB for whatever
    // hands it on; null when it is in sRGB already.
    ImageBlock srgbCopyOf(const ImageBlock& block) const { return m_viewer.srgbCopyOf(block); }
    // The block's pixels, colours or size changed: paint it anew in every
    // window that shows it.
    void repaintPicture() { m_viewer.pictureChangedInPlace(); }
    // Starts the display over as a load does (zoom, scroll bars).
    void resetViewerState() { m_viewer.resetViewerState(); }
    // Back to 100 % and the window sized to width x height.
    void showAtFullSize(int width, int height) { m_viewer.showAtFullSize(width, height); }
    // Shows a picture that came from no file (a scan) as a load shows a
    // new one, under `name` in place of a path.
    void showAcquiredPicture(ImageBlock block, const std::string& name)
    {
        m_viewer.showAcquiredPicture(std::move(block), name);
    }
    // The viewer's request for loading `path` (pages of the file on screen).
    LoadRequest viewRequest(const std::string& path) const { return m_viewer.viewRequest(path); }
    // The same for pages that leave the screen: in sRGB.
    LoadRequest srgbRequest(const std::string& path) const { return m_viewer.srgbRequest(path); }
    UserInterface& ui() { return m_viewer.ui(); }
    SettingsFile& settings() { return m_viewer.settings(); }
    DisplayMetrics metrics() const { return m_viewer.metrics(); }
    // The parent of the commands' dialogs.
    QWidget* dialogParent() const { return m_dialogParent; }
    // Runs a command as the menu would (the file commands reopen through it).
    void runCommand(int id) { m_runCommand(id); }
    // Reads the working directory's picture files again.
    void rebuildDirectoryList(bool force) { m_viewer.rebuildDirectoryList(force); }
    // The file on screen was deleted or moved away: the list is read again
    // and Next goes on with the file that followed; the picture stays.
    // `stopAnimation` also ends a running GIF animation.
    void fileOnScreenRemoved(bool stopAnimation) { m_viewer.fileOnScreenRemoved(stopAnimation); }
    // Shows the entries full screen, one after another (nothing when empty).
    void startSlideshow(std::vector<std::string> entries) { m_startSlideshow(std::move(entries)); }

private:
    ViewerController& m_viewer;
    QWidget* m_dialogParent;
    std::function<void(int)> m_runCommand;
    std::function<void(std::vector<std::string>)> m_startSlideshow;
};

} // namespace pictorand
