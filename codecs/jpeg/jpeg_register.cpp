#include "codecs/common/codec_result.h"
#include "codecs/jpeg/jpeg.h"
#include "core/codec_registry.h"

namespace pictorand {

namespace {

Result<DecodedImage> readJpegFile(const ReadRequest& request)
{
    JpegReadOptions options;
    options.loadGreyscale = request.greyscale;
    options.quantise256 = request.paletteDisplay;
    options.targetWidth = request.previewWidth;
    options.thumbnailSide = request.thumbnailSide;
    options.colourProfile = request.colourProfile;
    options.displayProfile = request.displayProfile;
    return withoutExceptions([&] { return readJpeg(request.path, options); });
}

Status writeJpegFile(const std::string& path, const ImageBlock& block, const WriteOptions& options)
{
    return withoutExceptions([&] { return writeJpeg(path, block, writeOptionsFor<JpegWriteOptions>(options)); });
}

bool isJpeg(SignatureHead head)
{
    return signatureHas(head, 6, "JFIF") || signatureHas(head, 6, "Exif")
        || (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF);
}

} // namespace

void registerJpegCodec(CodecRegistry& registry)
{
    registry.registerTexts(kJpegTexts.texts());
    registry.registerFormat({
        .row = {.format = ImageFormat::Jpeg, .name = "Jpeg", .signatureOrder = 10, .matches = isJpeg,
                .extensions = {"JPG", "JPEG"}, .renameExtension = ".jpg", .word = "JPEG",
                .compressionText = "JPEG/JFIF", .openFilters = {{1, "(*.JPG) JPEG - Files", "*.jpg;*.jpeg"}},
                .multiImage = MultiImage::Single,
                .save = SaveInfo{1, "JPG", ".jpg", "(*.JPG) JPEG - Files", "*.jpg;*.jpeg", "JPEG Files", "JPG", false,
                                 {8, 24}, DepthPreparation::PaletteTo256},
                .mimeTypes = {"image/jpeg"},
                .associationBoxes = {{.position = 1, .text = "JPG/JPEG", .controlId = 1016, .key = "JPG"}}},
        .reader = readJpegFile,
        .writer = writeJpegFile,
    });
}

} // namespace pictorand
