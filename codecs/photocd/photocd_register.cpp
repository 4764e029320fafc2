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

// An overview pack, or a picture file, whose first sector is all FF.
bool isPhotoCd(SignatureHead head)
{
    return signatureHas(head, 0, "PCD_OPA")
        || std::all_of(head.begin(), head.begin() + 7, [](uint8_t b) { return b == 0xFF; });
}

} // namespace

void registerPhotoCdCodec(CodecRegistry& registry)
{
    registry.registerTexts(kPhotoCdTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::PhotoCd, .name = "PhotoCd", .signatureOrder = 150, .matches = isPhotoCd,
                .extensions = {"PCD"}, .renameExtension = ".pcd", .word = "PCD", .compressionText = "Photo CD - None",
                .openFilters = {{8, "(*.PCD) Kodak Photo CD", "*.pcd"}}, .multiImage = MultiImage::Overview,
                .save = std::nullopt, .mimeTypes = {"image/x-photo-cd"},
                .associationBoxes = {{.position = 9, .text = "PCD", .controlId = 1033, .key = "PCD"}}},
        .reader = readPhotoCdFile,
    });
    registry.registerOverviewReader(readOverviewFile);
}

} // namespace pictorand
