#include "codecs/png/png.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

ImageBlock readPngFile(const ReadRequest& request, std::string& message, std::string&)
{
    return readPng(request.path, message);
}

bool writePngFile(const std::string& path, const ImageBlock& block, const WriteOptions&, std::string&)
{
    return writePng(path, block);
}

} // namespace

void registerPngCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Png, readPngFile);
    registry.registerWriter(SaveType::Png, writePngFile);
}

} // namespace pictorand
