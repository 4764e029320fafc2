#include "codecs/common/codec_result.h"
#include "codecs/tiff/tiff.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readTiffFile(const ReadRequest& request)
{
    return withoutExceptions([&]() -> Result<DecodedImage> {
        std::string message;
        std::string compression;
        ImageBlock block =
            readTiffPage(request.path, request.optionsFor<TiffReadOptions>().directoryOffset, message, compression);
        return decodedOrFailure(std::move(block), message, compression);
    });
}

Status writeTiffFile(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    return withoutExceptions([&]() -> Status {
        const TiffWriteOptions tiff = writeOptionsFor<TiffWriteOptions>(options);
        std::string message;
        const bool written = writeTiff(path, block, tiff.compression, tiff.quality, message);
        return writtenOrFailure(written, message);
    });
}

// The page table of a multi-page file: directory offsets, the first page's
// first.
Result<ImageList> listPages(const std::string& path)
{
    return withoutExceptions([&]() -> Result<ImageList> {
        ImageList list;
        list.imageOffsets.assign(kMaxFrames, 0);
        const int count = countTiffPages(path, list.imageOffsets.data(), kMaxFrames);
        if (count < 0)
            return Failure{Reason::CantOpenFile, {}};
        list.count = count;
        list.imageOffsets.resize(static_cast<size_t>(count));
        return list;
    });
}

} // namespace

void registerTiffCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Tiff, readTiffFile);
    registry.registerWriter(ImageFormat::Tiff, writeTiffFile);
    registry.registerImageList(ImageFormat::Tiff, listPages);
}

} // namespace pictorand
