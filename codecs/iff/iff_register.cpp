#include "codecs/iff/iff.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

ImageBlock readIffFile(const ReadRequest& request, std::string& message, std::string& compression)
{
    return readIff(request.path, message, compression);
}

} // namespace

void registerIffCodec(CodecRegistry& registry) { registry.registerReader(ImageFormat::Iff, readIffFile); }

} // namespace pictorand
