#include "codecs/common/codec_result.h"
#include "codecs/pcx/pcx.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readPcxFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readPcx(request.path); });
}

Status writePcxFile(const std::string& path, const ImageBlock& block, const WriteOptions&)
{
    // The save dispatcher words the failure.
    return withoutExceptions([&] { return writePcx(path, block); });
}

} // namespace

void registerPcxCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Pcx, readPcxFile);
    registry.registerWriter(ImageFormat::Pcx, writePcxFile);
}

} // namespace pictorand
