#include "codecs/common/codec_result.h"
#include "codecs/jpeg/jpeg.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readJpegFile(const ReadRequest& request)
{
    return withoutExceptions([&]() -> Result<DecodedImage> {
        JpegReadOptions options;
        options.loadGreyscale = request.greyscale;
        options.quantise256 = request.paletteDisplay;
        options.targetWidth = request.previewWidth;
        std::string message;
        ImageBlock block = readJpeg(request.path, options, message);
        return decodedOrFailure(std::move(block), message);
    });
}

Status writeJpegFile(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    return withoutExceptions(
        [&]() -> Status { return writtenOrFailure(writeJpeg(path, block, writeOptionsFor<JpegWriteOptions>(options))); });
}

} // namespace

void registerJpegCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Jpeg, readJpegFile);
    registry.registerWriter(ImageFormat::Jpeg, writeJpegFile);
}

} // namespace pictorand
