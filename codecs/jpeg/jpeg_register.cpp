#include "codecs/common/codec_result.h"
#include "codecs/jpeg/jpeg.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readJpegFile(const ReadRequest& request)
{
    JpegReadOptions options;
    options.loadGreyscale = request.greyscale;
    options.quantise256 = request.paletteDisplay;
    options.targetWidth = request.previewWidth;
    options.thumbnailSide = request.thumbnailSide;
    options.colourProfile = request.colourProfile;
    return withoutExceptions([&] { return readJpeg(request.path, options); });
}

Status writeJpegFile(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    return withoutExceptions([&] { return writeJpeg(path, block, writeOptionsFor<JpegWriteOptions>(options)); });
}

} // namespace

void registerJpegCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Jpeg, readJpegFile);
    registry.registerWriter(ImageFormat::Jpeg, writeJpegFile);
}

} // namespace pictorand
