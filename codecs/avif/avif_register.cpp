#include "codecs/avif/avif.h"
#include "codecs/common/codec_result.h"

namespace pictorand {

namespace {

Result<DecodedImage> readAvifFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readAvif(request.path, request.keepAlpha); });
}

} // namespace

void registerAvifCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Avif, readAvifFile);
}

} // namespace pictorand
