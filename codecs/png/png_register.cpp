#include "codecs/common/codec_result.h"
#include "codecs/png/png.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readPngFile(const ReadRequest& request)
{
    return withoutExceptions([&] {
        if (std::optional<Result<DecodedImage>> first = readApngFirstFrame(request.path, request.keepAlpha))
            return std::move(*first);
        Result<DecodedImage> read = readPng(request.path, {request.sixteenBitSamples, request.keepAlpha});
        if (read && request.keepAlpha)
            read->alpha = pngAlphaPlane(request.path, read->block);
        return read;
    });
}

Result<ComposedAnimation> readPngFrames(const std::string& path, const AnimationLimits& limits)
{
    return withoutExceptions([&] { return readApng(path, limits); });
}

Status writePngFile(const std::string& path, const ImageBlock& block, const WriteOptions&)
{
    return withoutExceptions([&] { return writePng(path, block); });
}

// Byte 0 (0x89) is not examined.
bool isPng(SignatureHead head) { return signatureHas(head, 1, "PNG"); }

} // namespace

void registerPngCodec(CodecRegistry& registry)
{
    registry.registerTexts(kPngTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Png, .name = "Png", .signatureOrder = 50, .matches = isPng,
                .extensions = {"PNG"}, .renameExtension = ".png", .word = "PNG", .compressionText = "PNG - ZIP",
                .openFilters = {{5, "(*.PNG) Portable Network Graphics", "*.png"}},
                .multiImage = MultiImage::Single,
                .save = SaveInfo{4, "PNG", ".png", "(*.PNG) Portable Network Graphics", "*.png",
                                 "PNG - Portable Network Graphics", "PNG", false, {1, 4, 8, 24, 32},
                                 DepthPreparation::None},
                .mimeTypes = {"image/png"},
                .associationBoxes = {{.position = 7, .text = "PNG", .controlId = 1028, .key = "PNG"}}},
        .reader = readPngFile,
        .writer = writePngFile,
        .animationReader = readPngFrames,
        .animationCheck = apngDeclaresAnimation,
    });
}

} // namespace pictorand
