#include "codecs/avif/avif.h"
#include "codecs/common/codec_result.h"

namespace pictorand {

namespace {

Result<DecodedImage> readAvifFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readAvif(request.path, libraryReadOptions(request)); });
}

Result<ComposedAnimation> readAvifFrames(const std::string& path, const AnimationLimits& limits)
{
    return withoutExceptions([&] { return readAvifAnimation(path, limits); });
}

// An ftyp box with an AV1 brand; strict, so tried before the loose
// signatures (an ftyp box of 256 bytes starts like an icon).
bool isAvif(SignatureHead head) { return signatureHas(head, 4, "ftyp") && signatureHas(head, 8, "av"); }

} // namespace

void registerAvifCodec(CodecRegistry& registry)
{
    registry.registerTexts(kAvifTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Avif, .name = "Avif", .signatureOrder = 80, .matches = isAvif,
                .extensions = {"AVIF"}, .renameExtension = ".avif", .word = "AVIF", .compressionText = "AVIF - AV1",
                .openFilters = {{22, "(*.AVIF) AV1 Image", "*.avif"}}, .multiImage = MultiImage::Single,
                .save = std::nullopt, .mimeTypes = {"image/avif"},
                .inModernFormatsGroup = true, .readerLibrary = "avif"},
        .reader = readAvifFile,
        .animationReader = readAvifFrames,
        .animationCheck = avifDeclaresAnimation,
    });
}

} // namespace pictorand
