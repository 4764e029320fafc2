#pragma once
// The load dispatchers: every file the program opens goes through one of
// them, whatever asks for it (viewer, slideshow, preview, batch run, the
// command-line converter).

#include "core/image_block.h"
#include "core/image_format.h"

#include <string>

namespace pictorand {

// A silent load: the format is found by its signature, the first image or
// page is read, 16-, 32-, 64- and 48-bit blocks are brought to 24 bits; no
// message is shown, nothing is quantised. Null on any failure.
ImageBlock LoadForBatch(const std::string& path);

// As LoadForBatch, and `message` gets the reader's words on failure and
// `compression` its compression text. For reports of the command-line tools.
ImageBlock loadForBatchWithMessage(const std::string& path, std::string& message, std::string& compression);

} // namespace pictorand

// ---------------------------------------------------------------------------
// Loading for display.

#include "core/current_image.h"
#include "platform/user_interface.h"

namespace pictorand {

// What the display dispatcher needs from the viewer around it. The Qt shell
// implements it; tests script it.
class DisplayHost {
public:
    virtual ~DisplayHost() = default;

    virtual CurrentImage& currentImage() = 0;
    virtual UserInterface& userInterface() = 0;

    // The viewer's part of resetting the current image: stop the animation
    // timer, hide both scroll bars and reset the scroll position, close the
    // media window.
    virtual void resetViewerState() = 0;
    // Back to the empty window after a failed load.
    virtual void resetWindow() = 0;
    virtual bool fullScreenWindowExists() const = 0;
    virtual bool slideshowWindowExists() const = 0;
    // The display's size in pixels and whether it shows exactly 256 colours.
    virtual int screenWidth() const = 0;
    virtual int screenHeight() const = 0;
    virtual bool paletteDisplay() const = 0;
    // The start-up values of "Load Grayscale" and "Loading Size".
    virtual bool loadGreyscale() const = 0;
    virtual int photoCdLoadingSize() const = 0;
    // The directory the directory list was built from.
    virtual std::string directoryListDirectory() const = 0;

    // Sound and video: play the file in a media window; metafiles: show it.
    // Both return nothing to display as a block. Default: not available.
    virtual void playMedia(const std::string& path) { (void)path; }
    virtual bool showMetafile(const std::string& path, std::string& message, std::string& compression)
    {
        (void)path;
        (void)compression;
        message = "Metafiles are not available";
        return false;
    }
    // The icon chooser for multi-image icon files (null: always the first).
    virtual IconChooser* iconChooser() { return nullptr; }
};

// Loads a file for the viewer, the slideshow (skipMulti, quiet as its error
// suppression) or the Open dialog's preview (previewWidth > 0). `path` may be
// rewritten when the user agrees to rename a misnamed file. Returns the block
// for the current image, or null (after at most one message) when there is
// nothing to show as a block: failure, an animation started, media or a
// metafile.
ImageBlock LoadForDisplay(DisplayHost& host, std::string& path, bool skipMulti, bool quiet, int previewWidth);

} // namespace pictorand
