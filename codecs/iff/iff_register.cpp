#include "codecs/common/codec_result.h"
#include "codecs/iff/iff.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readIffFile(const ReadRequest& request)
{
    return withoutExceptions([&]() -> Result<DecodedImage> {
        std::string message;
        std::string compression;
        // A body that ends early still gives the rows read so far: a partial
        // picture is shown as it is.
        ImageBlock block = readIff(request.path, message, compression);
        return decodedOrFailure(std::move(block), message, compression);
    });
}

} // namespace

void registerIffCodec(CodecRegistry& registry) { registry.registerReader(ImageFormat::Iff, readIffFile); }

} // namespace pictorand
