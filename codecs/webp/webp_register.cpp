#include "codecs/common/codec_result.h"
#include "codecs/webp/webp.h"

namespace pictorand {

namespace {

Result<DecodedImage> readWebpFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readWebp(request.path, request.keepAlpha); });
}

Status writeWebpFile(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    return withoutExceptions([&] { return writeWebp(path, block, writeOptionsFor<WebpWriteOptions>(options)); });
}

} // namespace

void registerWebpCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Webp, readWebpFile);
    registry.registerWriter(ImageFormat::Webp, writeWebpFile);
}

} // namespace pictorand
