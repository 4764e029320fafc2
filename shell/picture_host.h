#pragma once
// What the image menu may do to the viewer around it: read and replace the
// picture, have it repainted, size the window to it, and talk to the user.

#include "core/current_image.h"
#include "platform/settings_file.h"
#include "platform/user_interface.h"
#include "shell/core/system_metrics.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class QWidget;

namespace pictorand {

// One handler per command id, registered by whoever does the work.
using CommandHandlers = std::map<int, std::function<void()>>;

class PictureHost {
public:
    virtual ~PictureHost() = default;
    virtual CurrentImage& picture() = 0;
    // What is on screen: the block, or the canvas of a running animation.
    virtual const ImageBlock& shownBlock() const = 0;
    // Replaces the block and brings the record's current size up to date.
    virtual void adoptPicture(ImageBlock block) = 0;
    // The block's pixels, colours or size changed: paint it anew in every
    // window that shows it.
    virtual void repaintPicture() = 0;
    // Starts the display over as a load does (zoom, scroll bars).
    virtual void resetViewerState() = 0;
    // Back to 100 % and the window sized to width x height.
    virtual void showAtFullSize(int width, int height) = 0;
    // Shows a picture that came from no file (a scan) as a load shows a
    // new one, under `name` in place of a path.
    virtual void showAcquiredPicture(ImageBlock block, const std::string& name) = 0;
    virtual UserInterface& ui() = 0;
    virtual SettingsFile& settings() = 0;
    virtual DisplayMetrics metrics() const = 0;
    // The parent of the image menu's dialogs.
    virtual QWidget* dialogParent() = 0;
    // Runs a command as the menu would (the file commands reopen through it).
    virtual void runCommand(int id) = 0;
    // Reads the working directory's picture files again.
    virtual void rebuildDirectoryList(bool force) = 0;
    // The file on screen was deleted or moved away: the list is read again
    // and Next goes on with the file that followed; the picture stays.
    // `stopAnimation` also ends a running GIF animation.
    virtual void fileOnScreenRemoved(bool stopAnimation) = 0;
    // Shows the entries full screen, one after another (nothing when empty).
    virtual void startSlideshow(std::vector<std::string> entries) = 0;
};

} // namespace pictorand
