#include "codecs/common/codec_result.h"
#include "codecs/photocd/photocd.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readPhotoCdFile(const ReadRequest& request)
{
    return withoutExceptions([&]() -> Result<DecodedImage> {
        std::string message;
        PhotoCdPicture picture = readPhotoCd(request.path, request.optionsFor<PhotoCdReadOptions>().loadingSize, message);
        if (picture.isOverview) {
            DecodedImage overview;
            overview.overviewPack = true;
            return overview;
        }
        Result<DecodedImage> decoded = decodedOrFailure(std::move(picture.block), message);
        if (decoded)
            decoded->quarterTurnsClockwise = picture.quarterTurnsClockwise;
        return decoded;
    });
}

Result<DecodedImage> readOverviewFile(const std::string& path, int firstPicture)
{
    return withoutExceptions([&]() -> Result<DecodedImage> {
        std::string message;
        ImageBlock sheet = readPhotoCdOverview(path, firstPicture, message);
        return decodedOrFailure(std::move(sheet), message);
    });
}

} // namespace

void registerPhotoCdCodec(CodecRegistry& registry)
{
    registry.registerReader(ImageFormat::PhotoCd, readPhotoCdFile);
    registry.registerOverviewReader(readOverviewFile);
}

} // namespace pictorand
