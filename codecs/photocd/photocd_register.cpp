#include "codecs/common/codec_result.h"
#include "codecs/photocd/photocd.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readPhotoCdFile(const ReadRequest& request)
{
    return withoutExceptions(
        [&] { return readPhotoCd(request.path, request.optionsFor<PhotoCdReadOptions>().loadingSize); });
}

Result<DecodedImage> readOverviewFile(const std::string& path, int firstPicture)
{
    return withoutExceptions([&] { return readPhotoCdOverview(path, firstPicture); });
}

} // namespace

void registerPhotoCdCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::PhotoCd, readPhotoCdFile);
    registry.registerOverviewReader(readOverviewFile);
}

} // namespace pictorand
