#include "codecs/common/codec_result.h"
#include "codecs/png/png.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readPngFile(const ReadRequest& request)
{
    return withoutExceptions([&] {
        Result<DecodedImage> read = readPng(request.path, {request.sixteenBitSamples});
        if (read && request.keepAlpha)
            read->alpha = pngAlphaPlane(request.path, read->block);
        return read;
    });
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
    registry.registerFormat({
        .row = {.format = ImageFormat::Png, .name = "Png", .signatureOrder = 50, .matches = isPng,
                .extensions = {"PNG"}, .renameExtension = ".png", .word = "PNG", .compressionText = "PNG - ZIP",
                .openFilters = {{5, "(*.PNG) Portable Network Graphics", "*.png"}},
                .multiImage = MultiImage::Single,
                .save = SaveInfo{4, "PNG", ".png", "(*.PNG) Portable Network Graphics", "*.png",
                                 "PNG - Portable Network Graphics", "PNG", false, {1, 4, 8, 24, 32},
                                 DepthPreparation::None},
                .mimeTypes = {"image/png"}},
        .reader = readPngFile,
        .writer = writePngFile,
    });
}

} // namespace pictorand
