#include "codecs/common/codec_result.h"
#include "codecs/iff/iff.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readIffFile(const ReadRequest& request)
{
    // A body that ends early still gives the rows read so far: a partial
    // picture is shown as it is.
    return withoutExceptions([&] { return readIff(request.path); });
}

bool isIff(SignatureHead head) { return signatureHas(head, 0, "FORM"); }

} // namespace

void registerIffCodec(CodecRegistry& registry)
{
    registry.registerTexts(kIffTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Iff, .name = "Iff", .signatureOrder = 200, .matches = isIff,
                .extensions = {"IFF", "LBM"}, .renameExtension = ".iff", .word = "IFF", .compressionText = "",
                .openFilters = {{19, "(*.IFF,*.LBM) Amiga Interchange File Format", "*.iff;*.lbm"}},
                .multiImage = MultiImage::Single, .save = std::nullopt, .mimeTypes = {"image/x-ilbm", "image/x-iff"},
                .associationBoxes = {{.position = 21, .text = "IFF/LBM", .controlId = 1044, .key = "IFF"}}},
        .reader = readIffFile,
    });
}

} // namespace pictorand
