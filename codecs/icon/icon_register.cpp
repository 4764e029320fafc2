#include "codecs/common/codec_result.h"
#include "codecs/icon/icon.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readIconFile(const ReadRequest& request)
{
    return withoutExceptions(
        [&] { return readIcon(request.path, request.optionsFor<IconReadOptions>(), request.keepAlpha); });
}

Status writeIconFile(const std::string& path, const ImageBlock& block, const WriteOptions&)
{
    return withoutExceptions([&] { return writeIcon(path, block); });
}

// Tried before Targa, whose three bytes 00 00 01 would also fit.
bool isIcon(SignatureHead head) { return head[0] == 0 && head[1] == 0 && head[2] == 1 && head[3] == 0; }

} // namespace

void registerIconCodec(CodecRegistry& registry)
{
    registry.registerTexts(kIconTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Icon, .name = "Icon", .signatureOrder = 120, .matches = isIcon,
                .extensions = {"ICO"}, .renameExtension = ".ico", .word = "ICO",
                .compressionText = "Windows ICON - None", .openFilters = {{12, "(*.ICO) Windows Icons", "*.ico"}},
                .multiImage = MultiImage::Choice,
                .save = SaveInfo{7, "ICO", ".ico", "(*.ICO) Windows Icon", "*.ico", "ICO - Windows Icon", "ICO", false,
                                 {1, 4, 8, 24}, DepthPreparation::None},
                .mimeTypes = {"image/vnd.microsoft.icon", "image/x-icon"},
                .associationBoxes = {{.position = 12, .text = "ICO", .controlId = 1051, .key = "ICO",
                                      .ownClass = "icofile", .fileIsIcon = true}}},
        .reader = readIconFile,
        .writer = writeIconFile,
    });
}

} // namespace pictorand
