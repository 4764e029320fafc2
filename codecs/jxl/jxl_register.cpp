#include "codecs/common/codec_result.h"
#include "codecs/jxl/jxl.h"

namespace pictorand {

namespace {

Result<DecodedImage> readJpegXlFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readJpegXl(request.path, libraryReadOptions(request)); });
}

Result<ComposedAnimation> readJpegXlFrames(const std::string& path, const AnimationLimits& limits)
{
    return withoutExceptions([&] { return readJpegXlAnimation(path, limits); });
}

// A bare codestream, or the container's signature box.
bool isJpegXl(SignatureHead head)
{
    static constexpr uint8_t container[] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A};
    return (head[0] == 0xFF && head[1] == 0x0A) || std::equal(head.begin(), head.end(), container);
}

} // namespace

void registerJxlCodec(CodecRegistry& registry)
{
    registry.registerTexts(kJxlTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::JpegXl, .name = "JpegXl", .signatureOrder = 90, .matches = isJpegXl,
                .extensions = {"JXL"}, .renameExtension = ".jxl", .word = "JPEG XL", .compressionText = "JPEG XL",
                .openFilters = {{23, "(*.JXL) JPEG XL", "*.jxl"}}, .multiImage = MultiImage::Single,
                .save = std::nullopt, .mimeTypes = {"image/jxl"},
                .inModernFormatsGroup = true, .readerLibrary = "jxl"},
        .reader = readJpegXlFile,
        .animationReader = readJpegXlFrames,
        .animationCheck = jpegXlDeclaresAnimation,
    });
}

} // namespace pictorand
