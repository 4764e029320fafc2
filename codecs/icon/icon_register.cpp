#include "codecs/icon/icon.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

ImageBlock readIconFile(const ReadRequest& request, std::string& message, std::string&)
{
    return readIcon(request, message);
}

bool writeIconFile(const std::string& path, const ImageBlock& block, const WriteOptions&, std::string&)
{
    return writeIcon(path, block);
}

} // namespace

void registerIconCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::Icon, readIconFile);
    registry.registerWriter(SaveType::Ico, writeIconFile);
}

} // namespace pictorand
