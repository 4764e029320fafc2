#include "codecs/jpeg/jpeg.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

ImageBlock readJpegFile(const ReadRequest& request, std::string& message, std::string&)
{
    JpegReadOptions options;
    options.loadGreyscale = request.loadGreyscale;
    options.quantise256 = request.quantise256;
    options.targetWidth = request.targetWidth;
    return readJpeg(request.path, options, message);
}

bool writeJpegFile(const std::string& path, const ImageBlock& block, const WriteOptions& options, std::string&)
{
    JpegWriteOptions jpegOptions;
    jpegOptions.greyscale = options.greyscale;
    jpegOptions.quality = options.quality;
    jpegOptions.progressive = options.progressive;
    return writeJpeg(path, block, jpegOptions);
}

} // namespace

void registerJpegCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Jpeg, readJpegFile);
    registry.registerWriter(SaveType::Jpg, writeJpegFile);
}

} // namespace pictorand
