#include "codecs/common/codec_result.h"
#include "codecs/png/png.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readPngFile(const ReadRequest& request)
{
    return withoutExceptions([&] {
        Result<DecodedImage> read = readPng(request.path);
        if (read && request.keepAlpha)
            read->alpha = pngAlphaPlane(request.path, read->block);
        return read;
    });
}

Status writePngFile(const std::string& path, const ImageBlock& block, const WriteOptions&)
{
    return withoutExceptions([&] { return writePng(path, block); });
}

} // namespace

void registerPngCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Png, readPngFile);
    registry.registerWriter(ImageFormat::Png, writePngFile);
}

} // namespace pictorand
