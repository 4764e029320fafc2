#pragma once
// The reader and writer calling conventions, and the registry through which
// each codec module makes itself known: a module registers one descriptor
// per format it handles, the format's row of the table (core/image_format.h)
// with its reader, writer and image list, and the table of its words. The
// dispatchers find readers and writers only here, so a format whose codec is
// not built fails through the ordinary failure path.

#include "core/frame_info.h"
#include "core/image_block.h"
#include "core/image_format.h"
#include "core/result.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace pictorand {

// Lets the icon reader ask which image of a multi-image file to show. The
// lines are the ones the chooser lists ("%d x %d  -  %d colors", ...).
class IconChooser {
public:
    virtual ~IconChooser() = default;
    // Index of the chosen image, from 0.
    virtual int chooseIcon(const std::string& path, const std::vector<std::string>& lines) = 0;
};

// ---------------------------------------------------------------------------
// Reading.

// The options only one format's reader takes.
struct GifReadOptions {
    // Parsing starts at the graphic control extension when above 0, else at
    // the image when above 0, else at the first image of the file.
    uint32_t controlOffset = 0;
    uint32_t imageOffset = 0;
};
struct TiffReadOptions {
    uint32_t directoryOffset = 0; // 0: first page
};
struct PhotoCdReadOptions {
    int loadingSize = 2; // 0 Base/16, 1 Base/4, 2 Base
};
struct IconReadOptions {
    IconChooser* chooser = nullptr; // null: never ask, take the first image
    int index = -1;                 // >= 0: read that image without asking
    bool largest = false;           // no index: the image with the most pixels, the deepest of those
};
using FormatReadOptions =
    std::variant<std::monostate, GifReadOptions, TiffReadOptions, PhotoCdReadOptions, IconReadOptions>;

// What every reader is given; `options` holds the one format's own, if any.
struct ReadRequest {
    std::string path;
    int previewWidth = 0;        // > 0: for a preview that wide (JPEG decodes smaller)
    // > 0: for a thumbnail whose longer side is this long; a reader may give
    // a smaller picture that still reaches it (JPEG decodes at 1/2 to 1/8).
    int thumbnailSide = 0;
    bool greyscale = false;      // "Load Grayscale"
    bool paletteDisplay = false; // the display shows 256 colours
    // "ColorManagement": a reader that must apply an embedded profile itself
    // (a CMYK JPEG's, whose samples it turns into RGB) does so.
    bool colourProfile = true;
    // The profile of the display the picture is shown on (empty: sRGB); a
    // reader that applies a profile itself converts to it. The bytes are
    // the caller's and stay valid during the read.
    std::span<const uint8_t> displayProfile;
    // A reader of 16-bit pictures (PNG, PGM, PPM, TIFF) hands its samples
    // back whole, in a 48-bit block (DecodedImage::sixteenBitSamples; grey
    // in all three samples, colour over white), for the load to convert at
    // that precision and dither to 8 bits; otherwise it rounds them to 8
    // bits itself. A picture with transparency whose opacity is kept too
    // (keepAlpha, which on-screen loads never ask for) is rounded.
    bool sixteenBitSamples = false;
    // A reader whose picture has transparency also returns its opacity in
    // DecodedImage::alpha (a thumbnail keeps it; the viewer shows the
    // picture over white as it always has).
    bool keepAlpha = false;
    FormatReadOptions options;

    // The format's options, or their defaults when the caller gave none.
    template <class Options>
    Options optionsFor() const
    {
        const Options* given = std::get_if<Options>(&options);
        return given ? *given : Options{};
    }
};

// A reader's picture and what the reader found out about it.
struct DecodedImage {
    ImageBlock block;
    std::string compression; // empty: the format's compression text
    // Quarter turns to the right that make the picture upright; the
    // dispatcher turns it.
    int quarterTurnsClockwise = 0;
    // The EXIF/TIFF orientation (1 to 8) of the stored pixels; 1 is upright.
    // Readers whose library already turns the picture (HEIC/AVIF irot/imir,
    // JPEG XL) report 1. The dispatcher applies it unless told not to.
    int orientation = 1;
    // The embedded ICC profile, if any; the dispatcher converts the picture
    // to sRGB with it unless told not to.
    std::vector<uint8_t> iccProfile;
    // The reader has brought the colours to sRGB or the request's display
    // profile itself (a CMYK JPEG through its own profile): nothing is left
    // for the dispatcher to convert.
    bool coloursConverted = false;
    // The 48-bit block holds 16-bit blue-green-red samples in this
    // machine's order (asked for by ReadRequest::sixteenBitSamples), not 8-bit
    // ones at the front of each row.
    bool sixteenBitSamples = false;
    // The three samples of each such pixel are alike: a grey picture, which
    // is described as 8-bit grey, as its rounded block would be.
    bool greySamples = false;
    // keepAlpha: each pixel's opacity as an 8-bit grey block of the block's
    // size, rows as the block's (0 transparent, 255 opaque); null when the
    // picture has no transparency or the reader keeps none. The block holds
    // the colours over white all the same.
    ImageBlock alpha;
    // A Photo CD overview pack: no block; the overview reader reads it.
    bool overviewPack = false;
    GifFrameInfo gifFrame; // GIF: the image's place, background and timing
    // The reader's words about a picture it could only partly read (the
    // rows it did read are in the block).
    std::string warning;
};

// A reader returns the picture, or the failure in the reader's own words
// (Failure::detail).
using ReaderFunction = Result<DecodedImage> (*)(const ReadRequest& request);

// Photo CD overview packs are read by a second reader: a sheet of 25
// thumbnails from `firstPicture` (1, 26, 51 or 76), always 24 bits.
using OverviewReaderFunction = Result<DecodedImage> (*)(const std::string& path, int firstPicture);

// Where the images of a multi-image file start, for reading them one by one
// later: `count` image offsets (at most kMaxFrames), GIF images or TIFF page
// directories, and for GIF as many graphic control extension offsets.
struct ImageList {
    int count = 0;
    std::vector<uint32_t> controlOffsets;
    std::vector<uint32_t> imageOffsets;
};
using ImageListFunction = Result<ImageList> (*)(const std::string& path);

// Animations whose library composes the frames, or whose reader does (WebP,
// APNG, AVIF, JPEG XL): each frame is the whole canvas as it shows.
struct ComposedFrame {
    ImageBlock block; // 24 bits, any alpha laid over white
    int delayMs = 0;  // as the file says, rounded; 0 to kLongestFrameDelayMs
};
// APNG's longest delay, 65535 seconds; longer ones are held to it.
inline constexpr int kLongestFrameDelayMs = 65535 * 1000;
struct ComposedAnimation {
    std::vector<ComposedFrame> frames;
    int loopCount = 0; // how many times it plays; 0 for ever
    // The embedded ICC profile the frames' colours are in, if any; the load
    // converts them with it as it would a still picture of the file.
    std::vector<uint8_t> iccProfile;
};
// What the frames may take: as many as the GIF player keeps, and their
// blocks together no more than its byte limit (the first frame is always
// kept).
struct AnimationLimits {
    int frames = kMaxFrames;
    uint64_t bytes = uint64_t(1) << 30;
};
// The frames of an animated file in order, stopping before a limit would be
// passed or at a damaged frame; fewer than two frames when the file holds a
// still picture. Fails only when the first frame cannot be read.
using AnimationReaderFunction = Result<ComposedAnimation> (*)(const std::string& path, const AnimationLimits& limits);
// True when the file's headers say it is an animation (WebP's animation
// flag, APNG's acTL before the image data, an AVIF sequence, JPEG XL's
// animation header), found without decoding a frame: the animation reader
// may still find fewer than two frames. False when they do not, or cannot be
// read.
using AnimationCheckFunction = bool (*)(const std::string& path);

// ---------------------------------------------------------------------------
// Writing.

struct JpegWriteOptions {
    bool greyscale = false;   // one-component file
    int quality = 80;
    bool progressive = false; // simple progression
};
struct GifWriteOptions {
    bool interlaced = false;
    int transparentIndex = -1; // -1: none
};
struct TiffWriteOptions {
    int compression = 0; // the "Save Compression" setting, 0 to 6
    int quality = 80;    // for compression 6 (JPEG)
};
struct WebpWriteOptions {
    int quality = 80; // the JPEG quality setting; 100 writes a lossless file
};
using WriteOptions =
    std::variant<std::monostate, JpegWriteOptions, GifWriteOptions, TiffWriteOptions, WebpWriteOptions>;

// Writes the block, never freeing or changing it; the failure carries the
// writer's own words where it has any.
using WriterFunction = Status (*)(const std::string& path, const ImageBlock& block, const WriteOptions& options);

// The options a writer was given, or their defaults.
template <class Options>
Options writeOptionsFor(const WriteOptions& options)
{
    const Options* given = std::get_if<Options>(&options);
    return given ? *given : Options{};
}

// ---------------------------------------------------------------------------

// Everything a codec module says about one format.
struct FormatDescriptor {
    FormatInfo row;
    ReaderFunction reader = nullptr;
    WriterFunction writer = nullptr;
    ImageListFunction imageList = nullptr;
    AnimationReaderFunction animationReader = nullptr;
    AnimationCheckFunction animationCheck = nullptr;
};

class CodecRegistry {
public:
    // The registry with every built codec registered (defined with the
    // generated codec list, so using it links every codec). Its rows are the
    // format table; a build whose rows fail formatTableProblems stops there,
    // which the build itself does when it lists the desktop's MIME types.
    static CodecRegistry& instance();

    // The row joins the table in its signature order, the functions their
    // slots.
    void registerFormat(FormatDescriptor descriptor);
    // The rows in signature order.
    const std::vector<FormatInfo>& formats() const { return m_formats; }

    // Functions in place of a format's own (a stand-in reader, say).
    void registerReader(ImageFormat format, ReaderFunction reader) { slotsOf(format).reader = reader; }
    void registerWriter(ImageFormat format, WriterFunction writer) { slotsOf(format).writer = writer; }
    void registerImageList(ImageFormat format, ImageListFunction scanner) { slotsOf(format).imageList = scanner; }
    void registerAnimationReader(ImageFormat format, AnimationReaderFunction reader)
    {
        slotsOf(format).animationReader = reader;
    }
    void registerAnimationCheck(ImageFormat format, AnimationCheckFunction check)
    {
        slotsOf(format).animationCheck = check;
    }
    void registerOverviewReader(OverviewReaderFunction reader) { m_overviewReader = reader; }
    // A codec folder's words for its faults (core/fault_texts.h), which join
    // the list of every word the codecs can say.
    void registerTexts(const std::vector<const char*>& texts) { m_texts.insert(m_texts.end(), texts.begin(), texts.end()); }
    const std::vector<const char*>& texts() const { return m_texts; }

    ReaderFunction reader(ImageFormat format) const { return slotsOf(format).reader; }
    WriterFunction writer(ImageFormat format) const { return slotsOf(format).writer; }
    ImageListFunction imageList(ImageFormat format) const { return slotsOf(format).imageList; }
    AnimationReaderFunction animationReader(ImageFormat format) const { return slotsOf(format).animationReader; }
    AnimationCheckFunction animationCheck(ImageFormat format) const { return slotsOf(format).animationCheck; }
    OverviewReaderFunction overviewReader() const { return m_overviewReader; }

private:
    struct Slots {
        ReaderFunction reader = nullptr;
        WriterFunction writer = nullptr;
        ImageListFunction imageList = nullptr;
        AnimationReaderFunction animationReader = nullptr;
        AnimationCheckFunction animationCheck = nullptr;
    };
    // A number out of range (which the table's check refuses) writes to a
    // slot nobody reads and finds no function.
    static bool inRange(ImageFormat format)
    {
        return static_cast<int>(format) >= 0 && static_cast<int>(format) < kFormatNumberLimit;
    }
    Slots& slotsOf(ImageFormat format)
    {
        return m_slots[inRange(format) ? static_cast<size_t>(format) : kFormatNumberLimit];
    }
    const Slots& slotsOf(ImageFormat format) const
    {
        static const Slots none;
        return inRange(format) ? m_slots[static_cast<size_t>(format)] : none;
    }

    std::vector<FormatInfo> m_formats;
    std::array<Slots, kFormatNumberLimit + 1> m_slots{};
    OverviewReaderFunction m_overviewReader = nullptr;
    std::vector<const char*> m_texts;
};

// Defined by the generated codec list (library pictorand_codecs): calls every
// codec module's registration function.
void registerAllCodecs(CodecRegistry& registry);

} // namespace pictorand
