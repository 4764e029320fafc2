#include "codecs/common/codec_result.h"
#include "codecs/pcx/pcx.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readPcxFile(const ReadRequest& request)
{
    return withoutExceptions([&] { return readPcx(request.path); });
}

Status writePcxFile(const std::string& path, const ImageBlock& block, const WriteOptions&)
{
    // The save dispatcher words the failure.
    return withoutExceptions([&] { return writePcx(path, block); });
}

// Tried before Targa, whose three bytes 0A 00 01 would also fit. Version 4
// (PC Paintbrush for Windows) cannot be Targa, whose second byte is 0 or 1.
bool isPcx(SignatureHead head)
{
    return head[0] == 0x0A && (head[1] == 0 || (head[1] >= 2 && head[1] <= 5));
}

} // namespace

void registerPcxCodec(CodecRegistry& registry)
{
    registry.registerTexts(kPcxTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Pcx, .name = "Pcx", .signatureOrder = 110, .matches = isPcx,
                .extensions = {"PCX"}, .renameExtension = ".pcx", .word = "PCX", .compressionText = "",
                .openFilters = {{6, "(*.PCX) Zsoft Paintbrush", "*.pcx"}}, .multiImage = MultiImage::Single,
                .save = SaveInfo{6, "PCX", ".pcx", "(*.PCX) Zsoft Paintbrush", "*.pcx", "PCX - Zsoft Paintbrush",
                                 "PCX", false, {1, 4, 8, 24}, DepthPreparation::None},
                .mimeTypes = {"image/vnd.zbrush.pcx", "image/x-pcx"},
                .associationBoxes = {{.position = 6, .text = "PCX", .controlId = 1026, .key = "PCX"}}},
        .reader = readPcxFile,
        .writer = writePcxFile,
    });
}

} // namespace pictorand
