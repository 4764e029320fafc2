#include "codecs/common/codec_result.h"
#include "codecs/jxl/jxl.h"

namespace pictorand {

namespace {

Result<DecodedImage> readJpegXlFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readJpegXl(request.path, request.keepAlpha); });
}

} // namespace

void registerJxlCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::JpegXl, readJpegXlFile);
}

} // namespace pictorand
