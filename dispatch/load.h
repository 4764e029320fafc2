#pragma once
// The one load. Every file the program reads goes through load(), whatever
// asks for it: the viewer (open, drop, next and previous, reopen, pages,
// Photo CD sheets, icon choices), its read-ahead, the slideshow, the Open
// dialog's preview, the batch run, the converter, paste and the wallpaper.
//
// The request is plain values: the file, what it is read for and the
// options that matter. The outcome is plain data too, nothing in it points
// back at the caller, so it can cross a process boundary. load() asks and
// says nothing: the rename question, the icon choice, the notices (a
// truncated file, a Photo CD overview), titles and messages are the
// caller's, decided from the outcome.

#include "codecs/metafile/drawing.h"
#include "core/codec_registry.h"
#include "core/image_block.h"
#include "core/image_format.h"
#include "core/result.h"
#include "core/turn.h"
#include "dispatch/gif_animation.h"
#include "platform/settings_file.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pictorand {

// What a file is read for; each purpose reads what its caller shows.
enum class LoadPurpose {
    View,      // the viewer: GIF frames, TIFF pages, Photo CD sheets, icon choices, media,
               // metafiles; a depth the display draws, 256 colours on a palette display
    Slide,     // the slideshow: as View, but one image of a GIF or an icon file
    Preview,   // the Open dialog's corner: as Slide, a JPEG decoded for the preview width
    Batch,     // conversion and the tools: the first image or page, never quantised;
               // media and metafiles are refused
    Thumbnail, // a small picture: as Slide, never quantised, read as small as thumbnailSide allows
    Turn,      // a JPEG turned block by block as `turn` says, without decoding: the file comes back
};

// The file to read. A name today: load() reaches its bytes only through the
// one place in load.cpp that hands the file to the signature test and the
// readers, so a confined worker can be given an open descriptor or the bytes
// in its place.
struct LoadSource {
    std::string path;
    friend bool operator==(const LoadSource&, const LoadSource&) = default;
};

// The settings that change what a load gives, as values.
struct LoadOptions {
    bool greyscale = false;       // "Load Grayscale": JPEG decodes to grey
    int photoCdLoadingSize = 2;   // "Loading Size": 0 Base/16, 1 Base/4, 2 Base (others read Base/4)
    bool autoRotate = true;       // "AutoRotate": the EXIF/TIFF orientation is applied
    bool colourManagement = true; // "ColorManagement": an embedded profile is converted to sRGB
    bool paletteDisplay = false;  // View, Slide, Preview: the display shows 256 colours
    int previewWidth = 0;         // Preview: the width the picture is shown at
    bool animate = true;          // View: a GIF of several images, or an animated WebP, APNG, AVIF or
                                  // JPEG XL, comes as its frames
    int page = 0;                 // the TIFF page, from 0
    int overviewStart = 1;        // a Photo CD overview: the sheet's first picture, 1, 26, 51 or 76
    int icon = -1;                // the image of an icon file, from 0; -1: the first
    // Thumbnail: the longer side the picture is shown at; the file's cheapest
    // picture that reaches it is read (a JPEG at 1/2 to 1/8, an icon file's
    // largest image, a Photo CD's smallest resolution that will do).
    int thumbnailSide = 0;
    // The outcome's imageCount says how many images or pages the file holds
    // (a description; a batch load lists none otherwise).
    bool countImages = false;
    // Turn: applied after the EXIF orientation (when autoRotate); trimEdges
    // lets the partial blocks at the right and bottom edges go.
    pictorand::Turn turn;
    bool trimEdges = false;
    bool turnedGreyscale = false;   // Turn: "Save Grayscale", kept without recompressing
    bool turnedProgressive = false; // Turn: "Save Progressive"
    // View, Slide, Preview with colourManagement: the ICC profile of the
    // display the picture is shown on (the X11 root window's _ICC_PROFILE),
    // at most kLargestDisplayProfile bytes; pictures are converted to it
    // instead of sRGB, untagged ones taken as sRGB. Empty: none, and the
    // display is taken to show sRGB. A profile Little CMS cannot use as an
    // output is ignored.
    // The viewer's block is then in the display's colours; its Save As
    // converts a copy back to sRGB.
    std::vector<uint8_t> displayProfile;
    // View with animate: a file its format's check finds animated is not
    // read (Kind::Unread). The read-ahead asks so: it keeps no animation,
    // and the viewer reads one when it steps there.
    bool leaveAnimationsUnread = false;
    friend bool operator==(const LoadOptions&, const LoadOptions&) = default;
};

// Display profiles are a few kilobytes, or a few hundred with measured
// tables; beyond this the request refuses one.
inline constexpr size_t kLargestDisplayProfile = size_t(4) << 20;

// "Load Grayscale", "Loading Size", "AutoRotate", "ColorManagement" and
// "MultiGif None" as the settings file holds them now.
LoadOptions loadOptionsFromSettings(const SettingsFile& settings);

struct LoadRequest {
    LoadSource file;
    LoadPurpose purpose = LoadPurpose::View;
    LoadOptions options;
    friend bool operator==(const LoadRequest&, const LoadRequest&) = default;
};

// A batch load of `path` with the settings as they are now.
LoadRequest batchRequest(const std::string& path, const SettingsFile& settings);

// Where a failed load stopped.
enum class LoadStage {
    Signature, // the file cannot be read, or its first ten bytes match no format
    Reading,   // the reader (or the purpose) refused it
    Preparing, // the picture could not be brought to a depth the caller takes
    Decoder,   // the confined decoder worker ended otherwise than with an answer
};

struct LoadOutcome {
    enum class Kind {
        Failed,
        Picture,   // `block`
        Animation, // `frames` and `loopCount`, the first frame's facts in the fields below
        Media,     // sound or video: nothing read, the caller plays the file
        Metafile,  // `drawing`
        Turned,    // `turnedFile`
        Unread,    // an animation left unread (LoadOptions::leaveAnimationsUnread): nothing read
    };
    Kind kind = Kind::Failed;
    std::string path; // the file as the request named it
    std::optional<ImageFormat> format; // nothing when the signature test failed
    // The format the signature says when the name's extension is not one of
    // its own: the caller may offer to rename the file.
    std::optional<ImageFormat> misnamedAs;

    // The picture, upright, in sRGB, at a depth the purpose takes.
    ImageBlock block;
    std::string compression; // "Compression:" of the image information
    int originalWidth = 0;   // as shown: an upright photo's size, a metafile's frame
    int originalHeight = 0;
    int originalBitCount = 0; // the reader's depth before any conversion
    int64_t decompressionMs = 0; // reader to ready picture; 0 for icons
    // Thumbnail: the picture's opacity (DecodedImage::alpha) turned with it;
    // null when it has no transparency. `block` holds the colours over white.
    ImageBlock alpha;
    // The reader's words when it read only part of the picture; the block
    // holds what was read.
    std::string truncation;
    int orientationApplied = 1;   // the EXIF/TIFF orientation turned upright (1: none)
    bool profileApplied = false;  // an embedded ICC profile converted the colours

    // A TIFF file's page directories, the page read among them.
    std::vector<uint32_t> pageOffsets;
    int page = 0;
    // countImages: the GIF's images or the TIFF's pages, at most kMaxFrames;
    // 0 when not asked or the codec cannot tell.
    int imageCount = 0;
    // A Photo CD overview pack: the sheet read.
    bool overviewSheet = false;
    int overviewStart = 0;
    // View: the chooser's lines of an icon file with several images, the
    // first (or the one asked for) read.
    std::vector<std::string> iconChoices;
    // Animation: every image of the GIF as the reader gave it, or every frame
    // of a WebP, APNG, AVIF or JPEG XL animation composed (at most
    // kMaxFrames, their blocks within the GIF player's byte limit).
    std::vector<AnimationFrame> frames;
    // Animation: how many times it plays, 0 for ever (a GIF's always).
    int loopCount = 0;
    // Media: the extension is not one of the media extensions.
    bool mediaExtensionMismatch = false;
    // Metafile: the checked drawing commands.
    std::shared_ptr<const metafile::Drawing> drawing;
    // Turned: the JPEG file's bytes, its blocks turned and its EXIF
    // orientation upright.
    std::vector<uint8_t> turnedFile;

    // Failed: where, why, and the reader's (or the step's) own words.
    LoadStage failedAt = LoadStage::Signature;
    Failure failure;

    bool ok() const { return kind != Kind::Failed; }
    int pageCount() const { return static_cast<int>(pageOffsets.size()); }
};

// Where the program has turned its decoder workers on (dispatch/confined_load.h),
// a load with the built registry runs in one of them; every other load, and
// the workers' own, in this process.
LoadOutcome load(const LoadRequest& request, const CodecRegistry& registry = CodecRegistry::instance());
LoadOutcome loadInThisProcess(const LoadRequest& request, const CodecRegistry& registry = CodecRegistry::instance());

// Why a Turn load of another format fails.
inline constexpr const char* kOnlyJpegsTurnLosslessly = "Only JPEG files are turned without decoding";

// What the viewer says about a failed load, naming the file:
// "<path> : Can't read file header !\n\nUnsupported file type !",
// "<path> : GIF Decode error !\n\n<the reader's words>", "<path> : Can't quantize to 256 colors !".
std::string loadFailureMessage(const LoadOutcome& outcome);
// The same without the path and the frame, for reports: the reader's words,
// kCantReadHeader, "WMF/EMF files are not converted".
std::string loadFailureWords(const LoadOutcome& outcome);
// "<path> : <the reader's words>\n\nThe file is truncated: only part of the
// picture could be read."
std::string truncationNotice(const LoadOutcome& outcome);

} // namespace pictorand
