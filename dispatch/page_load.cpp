#include "dispatch/page_load.h"

#include "codecs/photocd/photocd.h"
#include "dispatch/load_dispatch.h"
#include "ops/depth_conversion.h"
#include "ops/quantise.h"

#include <utility>

namespace pictorand {

namespace {

// An overview pack holds at most this many thumbnails.
constexpr int kOverviewPictures = 100;

// What the display load does to a first page, done to any other page: the
// unusual depths brought to 24 bits, true colour reduced on a palette display.
Result<ImageBlock> forDisplay(ImageBlock block, bool paletteDisplay)
{
    const int bits = block.bitCount();
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        ImageBlock normalised = normaliseDepth(block);
        if (!normalised)
            return Failure{Reason::Unsupported, "Unsupported bit depth"};
        block = std::move(normalised);
    }
    if (paletteDisplay && block.bitCount() == 24) {
        ImageBlock quantised = quantise(block, 256);
        if (!quantised)
            return Failure{Reason::OutOfMemory, kCantQuantize256};
        block = std::move(quantised);
    }
    return block;
}

} // namespace

Result<ImageBlock> loadTiffPage(const CurrentImage& image, int page, bool paletteDisplay, const CodecRegistry& registry)
{
    if (page < 0 || page >= image.pageCount || page >= kMaxFrames)
        return Failure{Reason::BadArgument, {}};
    ReaderFunction reader = registry.reader(ImageFormat::Tiff);
    if (!reader)
        return Failure{Reason::NoCodec, kReaderNotAvailable};
    ReadRequest request;
    request.path = image.path;
    request.tiffDirectoryOffset = pageOffset(image, page);
    // The file's compression text stays as the first load wrote it.
    std::string message;
    std::string compression;
    ImageBlock block = reader(request, message, compression);
    if (!block)
        return Failure{Reason::CorruptData, message.empty() ? kDecodeError : message};
    return forDisplay(std::move(block), paletteDisplay);
}

int nextOverviewStart(int start)
{
    const int next = start + kOverviewThumbnailsPerSheet;
    return next >= 1 && next <= kOverviewPictures ? next : 0;
}

Result<ImageBlock> loadOverviewSheet(const std::string& path, int firstPicture, bool paletteDisplay,
                                     const CodecRegistry& registry)
{
    if (firstPicture < 1 || firstPicture > kOverviewPictures)
        return Failure{Reason::BadArgument, kNoMorePictures};
    OverviewReaderFunction reader = registry.overviewReader();
    if (!reader)
        return Failure{Reason::NoCodec, kReaderNotAvailable};
    std::string message;
    ImageBlock sheet = reader(path, firstPicture, paletteDisplay, message);
    if (!sheet)
        return Failure{Reason::CorruptData, message};
    return sheet;
}

} // namespace pictorand
