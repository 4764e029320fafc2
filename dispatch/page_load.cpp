#include "dispatch/page_load.h"

#include "codecs/photocd/photocd.h"
#include "dispatch/load_dispatch.h"

#include <utility>

namespace pictorand {

namespace {

// An overview pack holds at most this many thumbnails.
constexpr int kOverviewPictures = 100;

// A picture a reader gave, made ready as the display load makes the first.
Result<ImageBlock> forDisplay(Result<DecodedImage> read, bool paletteDisplay)
{
    if (!read)
        return Failure{read.failure().reason, read.failure().detail.empty() ? kDecodeError : read.failure().detail};
    SettingsFile settings;
    return prepareForDisplay(read.take(), PictureCorrections::fromSettings(settings), paletteDisplay);
}

} // namespace

Result<ImageBlock> loadTiffPage(const CurrentImage& image, int page, bool paletteDisplay, const CodecRegistry& registry)
{
    if (page < 0 || page >= image.pageCount || page >= kMaxFrames)
        return Failure{Reason::BadArgument, {}};
    ReadRequest request;
    request.path = image.path;
    request.paletteDisplay = paletteDisplay;
    request.options = TiffReadOptions{pageOffset(image, page)};
    // The file's compression text stays as the first load wrote it.
    return forDisplay(callReader(registry, ImageFormat::Tiff, request), paletteDisplay);
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
    return forDisplay(callOverviewReader(registry, path, firstPicture), paletteDisplay);
}

} // namespace pictorand
