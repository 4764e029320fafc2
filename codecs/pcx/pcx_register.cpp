#include "codecs/pcx/pcx.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

ImageBlock readPcxFile(const ReadRequest& request, std::string& message, std::string& compression)
{
    return readPcx(request.path, message, compression);
}

bool writePcxFile(const std::string& path, const ImageBlock& block, const WriteOptions&, std::string&)
{
    return writePcx(path, block); // the save dispatcher words the failure
}

} // namespace

void registerPcxCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Pcx, readPcxFile);
    registry.registerWriter(SaveType::Pcx, writePcxFile);
}

} // namespace pictorand
