#include "codecs/avif/avif.h"
#include "codecs/avif/sequence_plays.h"
#include "codecs/common/codec_result.h"
#include "codecs/common/coded_colours.h"
#include "codecs/common/composed_frames.h"
#include "codecs/common/lazy_library.h"
#include "codecs/common/library_pixels.h"
#include "codecs/common/whole_file.h"
#include "core/large_buffer.h"
#include "platform/file_access.h"

#include <avif/avif.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

namespace pictorand {

namespace {

#define AVIF_FUNCTIONS(X)                                                                                         \
    X(avifDecoderCreate) X(avifDecoderDestroy) X(avifDecoderSetIOMemory) X(avifDecoderSetIO)                      \
    X(avifDecoderParse)                                                                                           \
    X(avifDecoderNextImage) X(avifImageCreateEmpty) X(avifImageDestroy) X(avifImageSetViewRect)                   \
    X(avifCropRectConvertCleanApertureBox) X(avifRGBImageSetDefaults) X(avifImageYUVToRGB)

AVIF_FUNCTIONS(PICTORAND_LIBRARY_FUNCTION_POINTER)

struct DecoderDeleter {
    void operator()(avifDecoder* decoder) const { avifDecoderDestroy(decoder); }
};
struct ImageDeleter {
    void operator()(avifImage* image) const { avifImageDestroy(image); }
};

Failure failureFrom(avifResult result)
{
    if (result == AVIF_RESULT_OUT_OF_MEMORY)
        return tooBigForBlock();
    return kAvifTexts.failure(Reason::CorruptData, AvifFault::NotValid);
}

// The rotation (quarter turns anticlockwise) and mirror (-1 none, 0 top and
// bottom exchanged, 1 left and right) to apply after decoding.
struct Orientation {
    int anticlockwiseTurns = 0;
    int mirror = -1;
    bool isIdentity() const { return anticlockwiseTurns == 0 && mirror < 0; }
};

Orientation orientationOf(const avifImage& image)
{
    Orientation orientation;
    if (image.transformFlags & AVIF_TRANSFORM_IROT)
        orientation.anticlockwiseTurns = image.irot.angle & 3;
    if (image.transformFlags & AVIF_TRANSFORM_IMIR)
        orientation.mirror = image.imir.mode & 1;
    return orientation;
}

// Where the pixel at (x, y) of the turned and mirrored picture (width x
// height) comes from in the decoded one (sourceWidth x sourceHeight).
void sourceOf(const Orientation& orientation, uint32_t width, uint32_t height, uint32_t sourceWidth,
              uint32_t sourceHeight, uint32_t& x, uint32_t& y)
{
    if (orientation.mirror == 0)
        y = height - 1 - y;
    else if (orientation.mirror == 1)
        x = width - 1 - x;
    const uint32_t turnedX = x;
    switch (orientation.anticlockwiseTurns) {
    case 1: // the decoded picture's top right corner goes to the top left
        x = sourceWidth - 1 - y;
        y = turnedX;
        break;
    case 2:
        x = sourceWidth - 1 - x;
        y = sourceHeight - 1 - y;
        break;
    case 3:
        x = y;
        y = sourceHeight - 1 - turnedX;
        break;
    default:
        break;
    }
}

// Picture-sized decoding never touches more memory than it must: without
// alpha or turning, the library writes blue-first rows straight into the
// block, top row first, and the rows are put in block order afterwards.
void reverseRowOrder(ImageBlock& block)
{
    const auto rowSize = static_cast<size_t>(block.rowSize());
    std::unique_ptr<uint8_t[]> scratch(new uint8_t[rowSize]);
    for (int32_t top = 0, bottom = block.height() - 1; top < bottom; ++top, --bottom) {
        std::memcpy(scratch.get(), block.row(top), rowSize);
        std::memcpy(block.row(top), block.row(bottom), rowSize);
        std::memcpy(block.row(bottom), scratch.get(), rowSize);
    }
}

Result<DecodedImage> toBlock(avifImage& coded, const Orientation& orientation, const LibraryReadOptions& options)
{
    const bool alpha = coded.alphaPlane != nullptr;
    const bool turned = orientation.anticlockwiseTurns % 2 == 1;
    const uint32_t width = turned ? coded.height : coded.width;
    const uint32_t height = turned ? coded.width : coded.height;
    SampleLayout layout =
        withWholeSamples({alpha ? 4 : 3, 16}, options.sixteenBitSamples && coded.depth > 8, width, height);
    const bool deep = layout.wholeSamples;
    if (!deep)
        layout.significantBits = 8;
    const size_t pixelBytes = size_t(layout.channels) * (deep ? 2 : 1);
    ImageBlock block = createBlockForLayout(width, height, layout);
    ImageBlock opacity = alphaPlaneFor(block, layout, options.keepAlpha);
    if (!block || (alpha && options.keepAlpha && !opacity))
        return tooBigForBlock();

    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &coded);
    // Deeper pictures are rounded to 8 bits by the conversion, or scaled to
    // 16, blue first in this machine's order as the 48-bit block holds them.
    rgb.depth = deep ? 16 : 8;
    const bool direct = !alpha && orientation.isIdentity();
    LargeBuffer samples;
    if (direct) {
        rgb.format = AVIF_RGB_FORMAT_BGR;
        rgb.pixels = block.pixels();
        rgb.rowBytes = static_cast<uint32_t>(block.rowSize());
    } else {
        rgb.format = alpha ? AVIF_RGB_FORMAT_RGBA : AVIF_RGB_FORMAT_RGB;
        rgb.rowBytes = coded.width * uint32_t(pixelBytes);
        samples = LargeBuffer::allocate(size_t(rgb.rowBytes) * coded.height);
        if (!samples)
            return tooBigForBlock();
        rgb.pixels = samples.data();
    }
    const avifResult converted = avifImageYUVToRGB(&coded, &rgb);
    if (converted != AVIF_RESULT_OK)
        return failureFrom(converted);

    if (direct) {
        reverseRowOrder(block);
    } else if (orientation.isIdentity()) {
        for (uint32_t y = 0; y < height; ++y)
            storeTopRow(block, int32_t(y), samples.data() + size_t(rgb.rowBytes) * y, layout, &opacity);
    } else {
        std::unique_ptr<uint8_t[]> row(new uint8_t[size_t(width) * pixelBytes]);
        for (uint32_t y = 0; y < height; ++y) {
            for (uint32_t x = 0; x < width; ++x) {
                uint32_t sourceX = x;
                uint32_t sourceY = y;
                sourceOf(orientation, width, height, coded.width, coded.height, sourceX, sourceY);
                const uint8_t* source = samples.data() + size_t(rgb.rowBytes) * sourceY + pixelBytes * sourceX;
                std::memcpy(row.get() + pixelBytes * x, source, pixelBytes);
            }
            storeTopRow(block, int32_t(y), row.get(), layout, &opacity);
        }
    }
    DecodedImage decoded;
    decoded.block = std::move(block);
    decoded.alpha = std::move(opacity);
    decoded.sixteenBitSamples = deep;
    return decoded;
}

using Decoder = std::unique_ptr<avifDecoder, DecoderDeleter>;

// libavif's functions, bound on first use; the failure when it is not to
// be had.
const LibraryBinding& avifLibrary()
{
    static const LibraryBinding avif = bindLibrary(PICTORAND_SONAME_AVIF, [](SharedLibrary& library) {
        return true AVIF_FUNCTIONS(PICTORAND_BIND_LIBRARY_FUNCTION);
    });
    return avif;
}

// A decoder that reads files as the reader does; null without the library
// or the memory for one.
Decoder createDecoder()
{
    if (avifLibrary())
        return nullptr;
    Decoder decoder(avifDecoderCreate());
    if (!decoder)
        return nullptr;
    // As many threads as avifdec -j would be given on this machine.
    decoder->maxThreads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    // Files other readers show are shown: some writers leave out boxes the
    // strict reading requires (pixi, say).
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    return decoder;
}

// A decoder over the file, its header parsed and the sizes it declares
// checked; a failure when the library or the file is not to be had.
std::optional<Failure> openDecoder(std::span<const uint8_t> file, Decoder& decoder)
{
    if (const LibraryBinding& avif = avifLibrary())
        return *avif;
    decoder = createDecoder();
    if (!decoder)
        return tooBigForBlock();
    avifResult result = avifDecoderSetIOMemory(decoder.get(), file.data(), file.size());
    if (result == AVIF_RESULT_OK)
        result = avifDecoderParse(decoder.get());
    // libavif refuses pictures over 16384 x 16384 pixels or 32768 pixels on
    // a side while parsing (its limits can only be lowered), in words only:
    // those are too big as much as the ones the block limit refuses below.
    if (result == AVIF_RESULT_BMFF_PARSE_FAILED && std::strstr(decoder->diag.error, "too large"))
        return tooBigForBlock();
    if (result != AVIF_RESULT_OK)
        return failureFrom(result);
    // The declared size decides before the AV1 decoder allocates its frames
    // (every frame of a sequence is the picture's size).
    const avifImage& declared = *decoder->image;
    if (!declaredSizeFits(declared.width, declared.height, SampleLayout{4, int(std::max(declared.depth, 8u))}))
        return tooBigForBlock();
    // dav1d decodes at the size the AV1 stream gives, which a hostile file
    // can make far larger than the declared one: the stream is held to the
    // declared size, padded to whole superblocks of up to 128 pixels.
    const uint64_t padded = (uint64_t(declared.width) + 128) * (uint64_t(declared.height) + 128);
    decoder->imageSizeLimit = static_cast<uint32_t>(std::min<uint64_t>(padded, decoder->imageSizeLimit));
    return std::nullopt;
}

// The picture the decoder holds now (after avifDecoderNextImage), cropped,
// turned and mirrored as its properties say.
Result<DecodedImage> currentPicture(avifDecoder& decoder, const LibraryReadOptions& options)
{
    avifImage* image = decoder.image;
    const Orientation orientation = orientationOf(*image);
    std::unique_ptr<avifImage, ImageDeleter> cropped;
    if (image->transformFlags & AVIF_TRANSFORM_CLAP) {
        avifCropRect rectangle;
        avifDiagnostics diagnostics;
        // A clean aperture that does not describe a valid crop is ignored,
        // as libavif's own tools ignore all of them.
        if (avifCropRectConvertCleanApertureBox(&rectangle, &image->clap, image->width, image->height,
                                                image->yuvFormat, &diagnostics)) {
            cropped.reset(avifImageCreateEmpty());
            if (!cropped || avifImageSetViewRect(cropped.get(), image, &rectangle) != AVIF_RESULT_OK)
                return kAvifTexts.failure(Reason::CorruptData, AvifFault::NotValid);
            image = cropped.get();
        }
    }
    return toBlock(*image, orientation, options);
}

// What libavif parses, read as it asks from a file the platform opened (a
// confined worker opens no file by its name): the boxes, not the images.
struct FileInput {
    avifIO io{};
    std::FILE* file = nullptr;
    std::vector<uint8_t> buffer;
};

void closeInput(avifIO* io)
{
    auto* input = static_cast<FileInput*>(io->data);
    std::fclose(input->file);
    delete input;
}

avifResult readInput(avifIO* io, uint32_t readFlags, uint64_t offset, size_t size, avifROData* out)
{
    auto* input = static_cast<FileInput*>(io->data);
    if (readFlags != 0 || offset > io->sizeHint)
        return AVIF_RESULT_IO_ERROR;
    // A box may claim more than the file holds: it gets what there is.
    size = static_cast<size_t>(std::min<uint64_t>(size, io->sizeHint - offset));
    try {
        input->buffer.resize(size);
    } catch (const std::bad_alloc&) {
        return AVIF_RESULT_OUT_OF_MEMORY;
    }
    if (size > 0
        && (fseeko(input->file, static_cast<off_t>(offset), SEEK_SET) != 0
            || std::fread(input->buffer.data(), 1, size, input->file) != size))
        return AVIF_RESULT_IO_ERROR;
    out->data = input->buffer.data();
    out->size = size;
    return AVIF_RESULT_OK;
}

// The embedded profile, else one for the colours the file names by code.
std::vector<uint8_t> profileOf(const avifImage& image)
{
    if (image.icc.size > 0)
        return std::vector<uint8_t>(image.icc.data, image.icc.data + image.icc.size);
    return profileForCodedColours(image.colorPrimaries, image.transferCharacteristics);
}

} // namespace

Result<DecodedImage> readAvifFromMemory(std::span<const uint8_t> file, const LibraryReadOptions& options)
{
    Decoder decoder;
    if (std::optional<Failure> failed = openDecoder(file, decoder))
        return *failed;
    const avifResult result = avifDecoderNextImage(decoder.get());
    if (result != AVIF_RESULT_OK)
        return failureFrom(result);
    Result<DecodedImage> decoded = currentPicture(*decoder, options);
    if (decoded) {
        decoded->compression = "AVIF - AV1";
        decoded->iccProfile = profileOf(*decoder->image);
    }
    return decoded;
}

Result<ComposedAnimation> readAvifAnimationFromMemory(std::span<const uint8_t> file, const AnimationLimits& limits)
{
    Decoder decoder;
    if (std::optional<Failure> failed = openDecoder(file, decoder))
        return *failed;
    if (decoder->imageCount < 2)
        return ComposedAnimation{};
    ComposedFrames frames(limits);
    while (!frames.full() && avifDecoderNextImage(decoder.get()) == AVIF_RESULT_OK) {
        Result<DecodedImage> picture = currentPicture(*decoder, {});
        const avifImageTiming& timing = decoder->imageTiming;
        // A damaged frame ends the animation; the frames before it stand.
        if (!picture || !frames.add(std::move(picture->block),
                                    delayMilliseconds(timing.durationInTimescales, timing.timescale)))
            break;
    }
    if (frames.count() == 0)
        return kAvifTexts.failure(Reason::CorruptData, AvifFault::NotValid);
    // libavif 0.11 does not give the sequence's plays: its boxes do.
    ComposedAnimation animation = frames.take(avifSequencePlays(file));
    animation.iccProfile = profileOf(*decoder->image);
    return animation;
}

bool avifDeclaresAnimation(const std::string& path)
{
    const Decoder decoder = createDecoder();
    std::FILE* file = decoder ? openStreamForReading(path) : nullptr;
    if (!file)
        return false;
    auto* input = new (std::nothrow) FileInput;
    if (!input || fseeko(file, 0, SEEK_END) != 0 || ftello(file) < 0) {
        std::fclose(file);
        delete input;
        return false;
    }
    input->file = file;
    input->io.destroy = closeInput;
    input->io.read = readInput;
    input->io.sizeHint = static_cast<uint64_t>(ftello(file));
    input->io.persistent = AVIF_FALSE;
    input->io.data = input;
    avifDecoderSetIO(decoder.get(), &input->io); // the decoder closes it
    return avifDecoderParse(decoder.get()) == AVIF_RESULT_OK && decoder->imageCount >= 2;
}

Result<ComposedAnimation> readAvifAnimation(const std::string& path, const AnimationLimits& limits)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readAvifAnimationFromMemory(file.bytes(), limits);
}

Result<DecodedImage> readAvif(const std::string& path, const LibraryReadOptions& options)
{
    WholeFile file;
    if (!file.open(path))
        return cantOpenFile(path);
    return readAvifFromMemory(file.bytes(), options);
}

} // namespace pictorand
