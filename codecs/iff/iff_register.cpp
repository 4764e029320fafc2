#include "codecs/common/codec_result.h"
#include "codecs/iff/iff.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readIffFile(const ReadRequest& request)
{
    // A body that ends early still gives the rows read so far: a partial
    // picture is shown as it is.
    return withoutExceptions([&] { return readIff(request.path); });
}

} // namespace

void registerIffCodec(CodecRegistry& registry) { registry.registerReader(ImageFormat::Iff, readIffFile); }

} // namespace pictorand
