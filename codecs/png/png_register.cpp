#include "codecs/common/codec_result.h"
#include "codecs/png/png.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readPngFile(const ReadRequest& request)
{
    return withoutExceptions([&]() -> Result<DecodedImage> {
        std::string message;
        ImageBlock block = readPng(request.path, message);
        return decodedOrFailure(std::move(block), message);
    });
}

Status writePngFile(const std::string& path, const ImageBlock& block, const WriteOptions&)
{
    return withoutExceptions([&]() -> Status { return writtenOrFailure(writePng(path, block)); });
}

} // namespace

void registerPngCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Png, readPngFile);
    registry.registerWriter(ImageFormat::Png, writePngFile);
}

} // namespace pictorand
