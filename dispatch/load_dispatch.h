#pragma once
// The load dispatchers: every file the program opens goes through one of
// them, whatever asks for it (viewer, slideshow, preview, batch run, the
// command-line converter).

#include "core/codec_registry.h"
#include "dispatch/read_ahead.h"
#include "core/current_image.h"
#include "core/image_block.h"
#include "core/image_format.h"
#include "platform/settings_file.h"
#include "platform/user_interface.h"

#include <string>

namespace pictorand {

// Message texts of the load dispatchers.
inline constexpr const char* kCantReadHeader = "Can't read file header !\n\nUnsupported file type !";
inline constexpr const char* kDecodeError = "Decode error !";
inline constexpr const char* kCantQuantize256 = "Can't quantize to 256 colors !";
inline constexpr const char* kCantRename = "Can't rename !";
inline constexpr const char* kMediaIncorrectExtension = "This file has a incorrect extension !";
inline constexpr const char* kMediaNotAvailable = "Sound and video files can't be played in this version";
inline constexpr const char* kPhotoCdOverviewNotice =
    "This file contains 100 pictures.\nYou see now the first 25 Pictures.\n\nPress N for next 25 pictures !";
// The reader's words when the codec for a format is not part of this build.
inline constexpr const char* kReaderNotAvailable = "No reader for this file type in this build";

// What a load does with what a reader found out about a picture besides its
// pixels. Quarter turns (Photo CD) are always made.
struct PictureCorrections {
    bool orientation = true;   // "AutoRotate": apply the EXIF/TIFF orientation
    bool colourProfile = true; // "ColorManagement": convert an ICC profile to sRGB

    static PictureCorrections fromSettings(const SettingsFile& settings);
};

// ---------------------------------------------------------------------------
// Loading for batch conversion and the command-line tools.

// A silent load: the format is found by its signature, the first image or
// page is read, 16-, 32-, 64- and 48-bit blocks are brought to 24 bits (3-
// and 40-bit blocks come back as they are); no message is shown, nothing is
// quantised; media and metafiles give null. "Load Grayscale" and "Loading
// Size" are read from the settings file at every call.
ImageBlock LoadForBatch(const std::string& path);
ImageBlock LoadForBatch(const std::string& path, const CodecRegistry& registry, const SettingsFile& settings);

// As LoadForBatch, and `message` gets the reader's words on failure and
// `compression` the compression text. For reports of the command-line tools.
ImageBlock loadForBatchWithMessage(const std::string& path, std::string& message, std::string& compression);
ImageBlock loadForBatchWithMessage(const std::string& path, std::string& message, std::string& compression,
                                   const CodecRegistry& registry, const SettingsFile& settings);

// A batch load with everything the reports say about it.
struct BatchLoad {
    ImageBlock block;        // null on failure
    std::string message;     // the reader's words on failure
    std::string compression; // the compression text
    // The reader's words when it could read only part of the picture (a
    // truncated file): the block holds what was read, the rest black.
    std::string warning;
};
BatchLoad loadForBatchReported(const std::string& path, const CodecRegistry& registry, const SettingsFile& settings);

// Appended to a report of a picture read only in part.
inline constexpr const char* kFileTruncated = "file is truncated";
// Shown by the viewer after the reader's words about such a picture.
inline constexpr const char* kTruncatedNotice = "The file is truncated: only part of the picture could be read.";

// ---------------------------------------------------------------------------
// Renaming a misnamed file.

// The question asked when a file's extension does not match its signature:
// "Warning !\nThe file: '<path>' is a JPEG File with incorrect extension !\nRename ?"
std::string renameQuestion(const std::string& path, ImageFormat format);

// Renames the file so that its extension is the format's rename extension
// ("photo.gif" holding a JPEG becomes "photo.jpg") and rewrites `path`. An
// existing file of the new name is never replaced. On failure shows
// "Can't rename !" and keeps `path`. Either way the directory list is rebuilt.
bool RenameToFormatExtension(UserInterface& ui, std::string& path, ImageFormat format);

// ---------------------------------------------------------------------------
// Loading for display.

// What the display dispatcher needs from the viewer around it. The Qt shell
// implements it; tests script it.
class DisplayHost {
public:
    virtual ~DisplayHost() = default;

    virtual CurrentImage& currentImage() = 0;
    virtual UserInterface& userInterface() = 0;

    // The viewer's part of resetting the current image: stop the animation
    // timer, hide both scroll bars and reset the scroll position, close the
    // media window. The dispatcher itself clears the record's block, frames,
    // zoom, flags and counts first.
    virtual void resetViewerState() = 0;
    // Back to the empty window after a failed load.
    virtual void resetWindow() = 0;
    virtual bool fullScreenWindowExists() const = 0;
    virtual bool slideshowWindowExists() const = 0;
    // Whether the display shows exactly 256 colours.
    virtual bool paletteDisplay() const = 0;
    // The start-up values of "Load Grayscale" and "Loading Size".
    virtual bool loadGreyscale() const = 0;
    virtual int photoCdLoadingSize() const = 0;
    // "AutoRotate" and "ColorManagement", read at every load. Default: from
    // the settings file.
    virtual PictureCorrections pictureCorrections() const;
    // The directory the directory list was built from.
    virtual std::string directoryListDirectory() const = 0;

    // Whether a misnamed file may be offered for renaming ("RenameExtension"
    // of section "Others", read at every load). Default: from the settings
    // file.
    virtual bool renameExtensionEnabled() const;
    // True when the working directory is no longer the directory of the
    // directory list. Default: compares the process's working directory with
    // directoryListDirectory().
    virtual bool workingDirectoryChanged() const;
    // The text given with /title= on the command line, empty when none.
    virtual std::string customTitle() const { return {}; }

    // Sound and video: play the file in a media window (on the full-screen
    // window when it exists, else on the main window; from its start). The
    // dispatcher has already checked the extension and sets the title and
    // rebuilds the directory list afterwards. False when this viewer cannot
    // play media (the default): the dispatcher says so.
    virtual bool playMedia(const std::string& path)
    {
        (void)path;
        return false;
    }
    // A GIF file with several images: play them as an animation, reading
    // each image from the offsets in `images`. False when this viewer has no
    // animation (the default): the dispatcher shows the first image.
    virtual bool startAnimation(const std::string& path, const ImageList& images)
    {
        (void)path;
        (void)images;
        return false;
    }
    // Metafiles: read and show the file (reset the window, keep the metafile
    // in the record, its frame size as current and original size, window
    // position 0, 0, fit and size the window, repaint). False with `message`
    // on failure; `compression` gets the reader's text. The dispatcher sets
    // metafile mode, the original bit count and the decompression time
    // after a success. Default: not available.
    virtual bool showMetafile(const std::string& path, std::string& message, std::string& compression)
    {
        (void)path;
        (void)compression;
        message = "Metafiles are not available";
        return false;
    }
    // The icon chooser for multi-image icon files (null: always the first).
    virtual IconChooser* iconChooser() { return nullptr; }
    // A read of the start-up file begun before the viewer was up; the display
    // load takes its result instead of reading when it matches. Null: none.
    virtual ReadAhead* readAhead() { return nullptr; }
};

// Loads a file for the viewer, the slideshow (skipMulti, quiet as its error
// suppression) or the Open dialog's preview (previewWidth > 0). `path` may be
// rewritten when the user agrees to rename a misnamed file. Returns the block
// for the current image, or null (after at most one message) when there is
// nothing to show as a block: failure, an animation started, media or a
// metafile. The block is not stored in the record: the caller adopts it.
// Multi-image GIF files start the host's animation when it has one, else
// show their first image.
ImageBlock LoadForDisplay(DisplayHost& host, std::string& path, bool skipMulti, bool quiet, int previewWidth);
ImageBlock LoadForDisplay(DisplayHost& host, std::string& path, bool skipMulti, bool quiet, int previewWidth,
                          const CodecRegistry& registry);

// The registered reader's result, or a failure in kReaderNotAvailable's words
// when the format's codec is not part of this build.
Result<DecodedImage> callReader(const CodecRegistry& registry, ImageFormat format, const ReadRequest& request);
Result<DecodedImage> callOverviewReader(const CodecRegistry& registry, const std::string& path, int firstPicture);

// Turns a block upright by the quarter turns a reader reported.
Status turnUpright(ImageBlock& block, int quarterTurnsClockwise);

// Turns `block` (the picture `findings` came with) upright and converts it
// to sRGB as the reader's findings and `corrections` say. Depths the
// operations do not take (the transient ones) are left as they are. Fails
// only when memory runs out, with the block as it was.
Status applyReaderFindings(ImageBlock& block, const DecodedImage& findings, const PictureCorrections& corrections);

// What every picture goes through before the viewer shows it: a depth the
// display draws (1, 4, 8 or 24 bits), upright and in sRGB as
// applyReaderFindings makes it, and 256 colours on a palette display. Fails
// with Reason::Unsupported for a depth no conversion reaches, else with the
// words the viewer shows after the path.
Result<ImageBlock> prepareForDisplay(DecodedImage decoded, const PictureCorrections& corrections, bool paletteDisplay);

} // namespace pictorand
