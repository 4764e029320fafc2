#include "codecs/common/codec_result.h"
#include "codecs/icon/icon.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readIconFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readIcon(request.path, request.optionsFor<IconReadOptions>()); });
}

Status writeIconFile(const std::string& path, const ImageBlock& block, const WriteOptions&)
{
    return withoutExceptions([&] { return writeIcon(path, block); });
}

} // namespace

void registerIconCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Icon, readIconFile);
    registry.registerWriter(ImageFormat::Icon, writeIconFile);
}

} // namespace pictorand
