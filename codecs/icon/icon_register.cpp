#include "codecs/common/codec_result.h"
#include "codecs/icon/icon.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readIconFile(const ReadRequest& request)
{
    return withoutExceptions([&]() -> Result<DecodedImage> {
        std::string message;
        ImageBlock block = readIcon(request.path, request.optionsFor<IconReadOptions>(), message);
        return decodedOrFailure(std::move(block), message);
    });
}

Status writeIconFile(const std::string& path, const ImageBlock& block, const WriteOptions&)
{
    return withoutExceptions([&]() -> Status { return writtenOrFailure(writeIcon(path, block)); });
}

} // namespace

void registerIconCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Icon, readIconFile);
    registry.registerWriter(ImageFormat::Icon, writeIconFile);
}

} // namespace pictorand
