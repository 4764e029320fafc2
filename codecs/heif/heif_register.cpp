#include "codecs/common/codec_result.h"
#include "codecs/heif/heif.h"

namespace pictorand {

namespace {

Result<DecodedImage> readHeifFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readHeif(request.path, request.keepAlpha); });
}

} // namespace

void registerHeifCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Heic, readHeifFile);
}

} // namespace pictorand
