#include "codecs/photocd/photocd.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

ImageBlock readPhotoCdFile(const ReadRequest& request, std::string& message, std::string&)
{
    return readPhotoCd(request.path, request.photoCdLoadingSize, request.photoCdIsOverview, message);
}

} // namespace

void registerPhotoCdCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::PhotoCd, readPhotoCdFile);
    registry.registerOverviewReader(readPhotoCdOverview);
}

} // namespace pictorand
