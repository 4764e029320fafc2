#include "codecs/common/codec_result.h"
#include "codecs/webp/webp.h"

namespace pictorand {

namespace {

Result<DecodedImage> readWebpFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readWebp(request.path, request.keepAlpha); });
}

Result<ComposedAnimation> readWebpFrames(const std::string& path, const AnimationLimits& limits)
{
    return withoutExceptions([&] { return readWebpAnimation(path, limits); });
}

Status writeWebpFile(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    return withoutExceptions([&] { return writeWebp(path, block, writeOptionsFor<WebpWriteOptions>(options)); });
}

// Only the first two letters of "WEBP" are within the ten bytes. The
// signature is strict, so it is tried before the loose ones.
bool isWebp(SignatureHead head) { return signatureHas(head, 0, "RIFF") && signatureHas(head, 8, "WE"); }

} // namespace

void registerWebpCodec(CodecRegistry& registry)
{
    registry.registerTexts(kWebpTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Webp, .name = "Webp", .signatureOrder = 60, .matches = isWebp,
                .extensions = {"WEBP"}, .renameExtension = ".webp", .word = "WEBP", .compressionText = "WebP",
                .openFilters = {{20, "(*.WEBP) WebP", "*.webp"}}, .multiImage = MultiImage::Single,
                .save = SaveInfo{8, "WEBP", ".webp", "(*.WEBP) WebP", "*.webp", "WEBP - WebP", "WEBP", true,
                                 {1, 4, 8, 24}, DepthPreparation::None},
                .mimeTypes = {"image/webp"},
                .inModernFormatsGroup = true},
        .reader = readWebpFile,
        .writer = writeWebpFile,
        .animationReader = readWebpFrames,
        .animationCheck = webpDeclaresAnimation,
    });
}

} // namespace pictorand
